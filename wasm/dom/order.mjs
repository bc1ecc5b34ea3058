// The fewest moves that turn one order of a child list into another.
//
// A host's diff may spell a keyed reorder as many single moves (the first of 1,000 children
// moved to the end is 999 of them), while on the page only the children outside a longest
// increasing subsequence of the old positions need to move: every other child keeps its place
// relative to its neighbours, and with it its focus, selection, scroll and running animations.

/**
 * Which entries of `positions` belong to one longest strictly increasing subsequence; entries
 * below 0 (children that are not in the list yet) never do. O(n log n).
 * @param {ArrayLike<number>} positions
 * @returns {Uint8Array} 1 where the entry stays, 0 where it must be placed
 */
export function longestIncreasing(positions) {
  const n = positions.length;
  const tails = new Int32Array(n); // tails[k]: index of the smallest last entry of a run of length k+1
  const previous = new Int32Array(n);
  let length = 0;
  for (let i = 0; i < n; i++) {
    const value = positions[i];
    if (value < 0) continue;
    let low = 0;
    let high = length;
    while (low < high) {
      const middle = (low + high) >>> 1;
      if (positions[tails[middle]] < value) low = middle + 1;
      else high = middle;
    }
    previous[i] = low > 0 ? tails[low - 1] : -1;
    tails[low] = i;
    if (low === length) length += 1;
  }
  const stays = new Uint8Array(n);
  for (let i = length > 0 ? tails[length - 1] : -1; i >= 0; i = previous[i]) stays[i] = 1;
  return stays;
}
