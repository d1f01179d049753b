// The x87 unit set as the C runtimes of the programs' era set it at start-up:
// 53-bit mantissa (double), round to nearest, every exception masked. The
// compiler does not round intermediate results to double on i686, so with the
// unit's 64-bit default a product a hair below a whole number comes out whole
// and truncates one higher than the same arithmetic on x86-64 (SSE).
#pragma once

namespace runtime {

inline void UseDoublePrecision() {
#ifdef __i386__
    const unsigned short kControlWord = 0x027F;
    __asm__ __volatile__("fninit\n\tfldcw %0" : : "m"(kControlWord));
#endif
}

}  // namespace runtime
