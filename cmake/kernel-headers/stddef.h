/* The kernel build's stddef.h: only what the language itself defines, from
   the compiler's predefined types. The toolchain's own stddef.h reaches into
   the hosted C library's headers, which kernel code must not see. */
#ifndef KALVEX_FREESTANDING_STDDEF_H
#define KALVEX_FREESTANDING_STDDEF_H

typedef __SIZE_TYPE__ size_t;
typedef __PTRDIFF_TYPE__ ptrdiff_t;
typedef decltype(nullptr) nullptr_t;

#define NULL nullptr
#define offsetof(type, member) __builtin_offsetof(type, member)

#endif
