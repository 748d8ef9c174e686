// The general conversion between tags that change_type and from_string share. Internal to OLE/.
#pragma once

#include <cstdint>

#include "ole_variant.h"

class ole_variant_ops {
 public:
  // Changes `v` to `vt` by the general rules (numbers, booleans, currency, decimals, text in
  // English rules). Answers ole_s_ok, or the failure code with `v` unchanged.
  static uint32_t general_change(ole_variant& v, VARTYPE vt);
  // The text of a number as the general conversion writes it (into at least 64 characters);
  // -1 when the tag is no number.
  static int general_text(const ole_variant& v, char* out);
};
