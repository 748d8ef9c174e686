// The rules of one kind of destination name (table, field or index names of one engine) and the
// names already taken. A validator answers whether a name can be used unchanged and derives a
// usable one when it cannot. Derived validators fill the lists in their constructors and may
// replace the three virtual operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class udb_validator {
 public:
  // `max_length` 0 means no length limit. The lists start empty.
  explicit udb_validator(int32_t max_length);
  virtual ~udb_validator() = default;

  // The checks in order, the first failing one deciding: not longer than the maximum, not a
  // restricted name (case ignored), no illegal character.
  virtual bool is_acceptable(const std::u16string& name);
  // True when a name in use equals `name`, case ignored.
  virtual bool is_duplicated(const std::u16string& name);
  // A name that is acceptable and not in use, derived from `name`: cut to the maximum length,
  // illegal characters made "_", and if still unusable a five-digit counter appended (the base
  // cut so that the result keeps within the maximum). Does not add the result to the names in
  // use: that is the caller's step (add_name_in_use). Gives up with tk_mail_assertion after
  // 100,000 counters.
  virtual std::u16string get_safe_name(const std::u16string& name);

  int32_t max_length() const { return max_length_; }
  const std::u16string& illegal_chars() const { return illegal_chars_; }
  const std::vector<std::u16string>& restricted_names() const { return restricted_names_; }
  const std::vector<std::u16string>& names_in_use() const { return names_in_use_; }

  void add_illegal_char(char16_t c) { illegal_chars_.push_back(c); }
  void add_restricted_name(const std::u16string& name) { restricted_names_.push_back(name); }
  void add_name_in_use(const std::u16string& name) { names_in_use_.push_back(name); }

 protected:
  int32_t max_length_;
  // Tried in this order; the first one found in a name is the one traced.
  std::u16string illegal_chars_;
  std::vector<std::u16string> restricted_names_;
  std::vector<std::u16string> names_in_use_;
};
