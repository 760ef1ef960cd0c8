#pragma once
// The library's two rounding rules, in one place for every unit that scales or mixes numbers.

// a x b / c with a 64-bit intermediate, halves away from zero; -1 when the result leaves 32 bits or c
// is 0 (the platform's MulDiv).
int MulDiv(int a, int b, int c);
// Nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);
