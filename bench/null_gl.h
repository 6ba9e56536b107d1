// The null GL of the CPU benchmarks: whether it counts calls, and how many reached it.
#pragma once

extern bool nullGlCounting;
extern long nullGlCalls;
