// ITK's compiler detection as Debian ships it knows GCC only. The fuzz build
// (clang, for libFuzzer) reads it first, as GCC would, through this header
// given with -include; ITK's own include of it then finds it done.
#pragma once
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wbuiltin-macro-redefined"
#undef __clang__
#include <itk_compiler_detection.h>
#define __clang__ 1
#pragma clang diagnostic pop
