// Every public conformance vector through load(), byte for byte.
import assert from "node:assert/strict";
import { test } from "node:test";

import { agrees, callVector, clientUrl, haveVectors, readVectors, vectorsPath } from "./support.mjs";

const { load, VorlikError } = await import(clientUrl("vorlik.mjs"));

test("the conformance vectors", { skip: !haveVectors && `no vectors at ${vectorsPath}` }, async (t) => {
  const vorlik = await load();
  const byCategory = group(readVectors());
  assert.ok(byCategory.size > 5);
  for (const [category, vectors] of byCategory) {
    await t.test(category, () => {
      const failures = [];
      for (const v of vectors) {
        const got = callVector(vorlik, VorlikError, v);
        if (!agrees(v, got)) failures.push({ id: v.id, args: v.args, expected: v.ok ?? v.err, got });
      }
      assert.deepEqual(failures.slice(0, 3), [], `${failures.length} of ${vectors.length} differ`);
    });
  }
});

function group(vectors) {
  const groups = new Map();
  for (const v of vectors) groups.set(v.cat, [...(groups.get(v.cat) ?? []), v]);
  return groups;
}
