// Writes the playground's examples.json from examples/: [[name, source, input], ...], in
// teaching order.
//   node make-examples.mjs EXAMPLES_DIR OUT.json
import { existsSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

// The order a course meets them in; an example not named here comes after these.
const teaching = ['hello', 'fizzbuzz', 'factorial', 'fibonacci', 'gcd_lcm', 'primes', 'multiplication',
  'collatz', 'comments', 'counted_string', 'sentinel', 'shout', 'bubble_sort', 'hanoi'];
const rank = (file) => {
  const k = teaching.indexOf(file.slice(0, -4));
  return k < 0 ? teaching.length : k;
};

const [dir, out] = process.argv.slice(2);
const files = readdirSync(dir).filter((f) => f.endsWith('.pl0')).sort();
const examples = files.sort((a, b) => rank(a) - rank(b)).map((file) => {
  const name = file.slice(0, -4);
  const input = join(dir, `${name}.stdin`);
  return [name, readFileSync(join(dir, file), 'utf8'), existsSync(input) ? readFileSync(input, 'utf8') : ''];
});
writeFileSync(out, JSON.stringify(examples));
