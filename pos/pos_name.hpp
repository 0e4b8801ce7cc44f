// Names of POS files: prefix length, record index and branch index as
// "%03d%03d%02d.pos".
#ifndef TLF2POS_POS_POS_NAME_HPP
#define TLF2POS_POS_POS_NAME_HPP

#include <cstdint>

/// Room for the longest name: three fields of up to 11 characters each,
/// ".pos" and the NUL.
inline constexpr int kPosNameSize = 40;

/// Writes the POS file name for the given fields into `name` (at least
/// kPosNameSize bytes), NUL-terminated, and returns its length. Each field is
/// signed decimal, zero-filled after any "-" to 3, 3 and 2 characters; a
/// wider field takes the room it needs (-1 gives "-01").
int pos_name(char* name, std::int32_t prefix_length, std::int32_t record_index,
             std::int32_t branch_index);

#endif
