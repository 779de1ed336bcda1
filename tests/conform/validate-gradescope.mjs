// Checks a results.json against the Gradescope format's schema (ajv, pinned in package.json).
//   node validate-gradescope.mjs results.json
import { readFileSync } from 'node:fs';
import Ajv from 'ajv';

const schema = JSON.parse(readFileSync(new URL('./gradescope.schema.json', import.meta.url)));
const validate = new Ajv({ allErrors: true }).compile(schema);
if (!validate(JSON.parse(readFileSync(process.argv[2], 'utf8')))) {
  console.error(validate.errors);
  process.exit(1);
}
