begin write 2 end.
