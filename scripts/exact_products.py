#!/usr/bin/env python3
"""Checks the claim that the decimal engine's exactly-halfway test rests on:
among all the products it computes, those whose bits below the rounding bit
are all 0 are exact.

usage: scripts/exact_products.py

decimal/decimal_value.cpp multiplies w (m shifted up to its top bit, so
2^63 <= w < 2^64) by T, the 128-bit power of five of q
(decimal/power_of_five.hpp). Of the 192-bit product P it keeps the top 128
bits; the 54 bits below the top one are the double's 53 and the rounding
bit, and the 73 (or 74, when bit 191 of P is set) below those must be 0 for
the number to lie exactly halfway: P mod 2^137 < 2^64. Such a product
counts as a tie only when it is exact: T exact (q from 0 to 55) and nothing
in P's lowest 64 bits. This script shows that the bits below decide alone:

- q from 0 to 27: T = 5^q x 2^s with s >= 64, so P's lowest 64 bits are 0;
- q from 28 to 55: no w gives 1 <= P mod 2^137 < 2^64;
- every other q of the table: no w gives P mod 2^137 < 2^64.

Each q is a search over all 2^63 values of w, done exactly: the smallest
x >= 0 with A x mod M in [L, R] follows from a Euclid-like recursion, and
the search goes on from each solution found. The search is first checked
against trying every x on small numbers. It prints what it found and ends
with 0 when nothing contradicts the claim, 1 otherwise.
"""
import sys

MIN_POWER, MAX_POWER = -342, 308  # kMinPowerOfTen, kMaxPowerOfTen


def power_of_five(q):
    """The table's entry for q: 5^q scaled into [2^127, 2^128), truncated."""
    if q >= 0:
        p = 5**q
        b = p.bit_length()
        return p >> (b - 128) if b >= 128 else p << (128 - b)
    p = 5**-q
    # 5^q lies in (2^-b, 2^(1-b)) for b the length of 5^-q.
    return (1 << (127 + p.bit_length())) // p


def first(a, m, low, high):
    """The smallest x >= 0 with low <= a x mod m <= high (0 <= low <= high
    < m), or None."""
    a %= m
    if low == 0:
        return 0
    if a == 0:
        return None
    x = (low + a - 1) // a
    if a * x <= high:
        return x
    # No multiple of a lies in [low, high], so low mod a <= high mod a,
    # both above 0. a x - m y in [low, high] for the smallest y with
    # (m y) mod a in [a - high mod a, a - low mod a].
    y = first(m % a, a, a - high % a, a - low % a)
    if y is None:
        return None
    return (low + m * y + a - 1) // a


def first_from(a, m, low, high, start):
    """The smallest w >= start with low <= a w mod m <= high, or None."""
    c = a * start % m
    low, high = (low - c) % m, (high - c) % m
    if low <= high:
        x = first(a, m, low, high)
    else:  # the range wraps past m
        found = [x for x in (first(a, m, low, m - 1), first(a, m, 0, high)) if x is not None]
        x = min(found) if found else None
    return None if x is None else start + x


def self_check():
    """The search against trying every x, on small numbers."""
    import random
    rnd = random.Random(1)
    for _ in range(3000):
        m = rnd.randint(2, 200)
        a, low = rnd.randrange(m), rnd.randrange(m)
        high, start = rnd.randint(low, m - 1), rnd.randrange(50)
        tried = next((w for w in range(start, start + m) if low <= a * w % m <= high), None)
        assert first_from(a, m, low, high, start) == tried, (a, m, low, high, start)


def main():
    self_check()
    modulus, word = 1 << 137, 1 << 64
    smallest_w, largest_w = 1 << 63, (1 << 64) - 1
    contradictions = 0
    searched = 0
    for q in range(MIN_POWER, MAX_POWER + 1):
        t = power_of_five(q)
        if 0 <= q <= 27:
            assert t % word == 0
            continue
        searched += 1
        exact = q <= 55 and q >= 0
        w = smallest_w
        while True:
            w = first_from(t, modulus, 1 if exact else 0, word - 1, w)
            if w is None or w > largest_w:
                break
            p = w * t
            if p % (1 << (137 + (p >> 191))) < word:
                print(f"q = {q}, w = {w:#x}: bits below the rounding bit 0, "
                      f"product not exact")
                contradictions += 1
            w += 1
    print(f"exact_products: {searched} powers searched, {contradictions} "
          f"products with the bits of a tie that are not exact")
    return 1 if contradictions else 0


if __name__ == "__main__":
    sys.exit(main())
