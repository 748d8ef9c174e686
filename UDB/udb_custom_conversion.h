// The extension point for special conversion rules of single columns. Readers and writers may
// ask it whether a rule applies before they treat a column or a value their own way. No rule is
// registered in this system: every question is answered no and nothing is changed, so a caller
// that asks behaves exactly as one that does not.
#pragma once

#include "ole_variant.h"
#include "udb_schema.h"

class udb_custom_conversion {
 public:
  virtual ~udb_custom_conversion() = default;

  // Whether a rule applies to a source column when its destination column is described.
  virtual bool is_acceptable1(const t_ftd& source_column);
  // Whether a rule applies to the values of `source_column` written into `dest_column`.
  virtual bool is_acceptable2(const t_ftd& source_column, const t_ftd& dest_column);
  // Applies the column rule: adjusts the destination column described for `source_column`.
  virtual void handle1(const t_ftd& source_column, t_ftd& dest_column);
  // Applies the column rule to the column's default value.
  virtual void handle1_1(t_ftd& column);
  // Applies the value rule to one value.
  virtual void handle2(const t_ftd& source_column, const t_ftd& dest_column, ole_variant& value);
};
