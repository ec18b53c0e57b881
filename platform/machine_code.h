// Whether a program file holds machine code for the machine this launcher
// runs on: the same executable format, word size, byte order and processor
// as the running launcher itself. A Java runtime whose java fails this
// cannot run here whatever it answered elsewhere.
#ifndef BV_PLATFORM_MACHINE_CODE_H_
#define BV_PLATFORM_MACHINE_CODE_H_

#include <string>

// Linux: an ELF file whose class, data encoding and machine equal those of
// /proc/self/exe. Elsewhere, or when either file cannot be read: false.
bool holdsCodeForThisMachine(const std::string& path);

#endif  // BV_PLATFORM_MACHINE_CODE_H_
