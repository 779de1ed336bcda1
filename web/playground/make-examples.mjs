// Writes the playground's examples.json from examples/: [[name, source, input], ...].
//   node make-examples.mjs EXAMPLES_DIR OUT.json
import { existsSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [dir, out] = process.argv.slice(2);
const examples = readdirSync(dir).filter((f) => f.endsWith('.pl0')).sort().map((file) => {
  const name = file.slice(0, -4);
  const input = join(dir, `${name}.stdin`);
  return [name, readFileSync(join(dir, file), 'utf8'), existsSync(input) ? readFileSync(input, 'utf8') : ''];
});
writeFileSync(out, JSON.stringify(examples));
