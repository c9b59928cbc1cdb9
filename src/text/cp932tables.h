// The code page 932 conversion tables. They are made when the program is
// built, from Qt's "Shift_JIS" converter (ICU, Microsoft's mapping), by
// cp932tablegen (cp932tablegen.cpp), so the program itself never asks the
// converter.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cp932::tables {

// Double-byte codes are indexed from here: (lead << 8 | trail) - kFirstCode.
inline constexpr unsigned kFirstCode = 0x8100;
inline constexpr std::size_t kCodeCount = 0x10000 - kFirstCode;
// Unicode of each double-byte code; 0 where code page 932 defines none.
extern const char16_t kToUnicode[kCodeCount];

// The code page 932 code of each Unicode (BMP) code unit, a single-byte code
// below 0x100; 0 where code page 932 cannot hold it (U+0000 is 0 itself).
inline constexpr std::size_t kUnicodeCount = 0x10000;
extern const std::uint16_t kFromUnicode[kUnicodeCount];

} // namespace cp932::tables
