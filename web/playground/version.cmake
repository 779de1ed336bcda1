# Names the service worker's cache after the site's content: a new build gets a new cache, so
# a returning student gets the new files and the old cache is dropped.
#   cmake -DSITE=DIR -P version.cmake
file(GLOB files ${SITE}/*)
list(SORT files)
set(hashes "")
foreach(file IN LISTS files)
  get_filename_component(name ${file} NAME)
  if(NOT name STREQUAL "sw.js")
    file(SHA256 ${file} hash)
    string(APPEND hashes "${name} ${hash}\n")
  endif()
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 version)
file(READ ${SITE}/sw.js worker)
string(REPLACE "pl0-playground-dev" "pl0-playground-${version}" worker "${worker}")
file(WRITE ${SITE}/sw.js "${worker}")
