// How the four-lane kernels' entry points are built: once for the file's own target (AVX2), and
// once more for processors with AVX-512 (x86-64-v4), chosen when the program loads. The second
// copy runs the same operations on the same 256-bit registers, in the same order, so its results
// are the same bits (-ffp-contract=off holds there too: no multiply and add is ever fused); it
// only has sixteen more registers to keep a group's filters and followers in, where the AVX2 copy
// spills them to the stack. `flatten` puts every helper inside each copy.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define KERNEL_ENTRY __attribute__((target_clones("arch=x86-64-v4", "default"), flatten))
#else
#define KERNEL_ENTRY
#endif
