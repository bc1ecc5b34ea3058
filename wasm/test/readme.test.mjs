// The README's JavaScript examples run against the build and print what their `// → ` lines show.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { test } from "node:test";

import { clientUrl } from "./support.mjs";

const readme = readFileSync(new URL("../../README.md", import.meta.url), "utf8");
const blocks = [...readme.matchAll(/^```js\n(.*?)^```/gms)].map((match) => match[1]);

test("the README's JavaScript examples", async (t) => {
  assert.ok(blocks.length > 0);
  const folder = mkdtempSync(`${tmpdir()}/vorlik-readme-`);
  for (const [n, code] of blocks.entries()) {
    await t.test(`example ${n + 1}`, () => {
      assert.ok(code.includes('from "./vorlik.mjs"'));
      const file = `${folder}/example${n + 1}.mjs`;
      writeFileSync(file, code.replaceAll('"./vorlik.mjs"', JSON.stringify(clientUrl("vorlik.mjs").href)));
      const shown = [...code.matchAll(/^\/\/ → (.*)$/gm)].map((match) => match[1]);
      assert.deepEqual(execFileSync(process.execPath, [file], { encoding: "utf8" }).split("\n").slice(0, -1), shown);
    });
  }
});
