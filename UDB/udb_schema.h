// The database-neutral description of a table's columns. The source reader describes its tables
// this way, the destination creates tables from it and describes existing ones the same way, and
// the driver asks `conform_to` whether an existing destination table can take a source table's
// rows. Columns are matched by position: their order is the table's column order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ole_types.h"
#include "ole_variant.h"

// The type classes of the conformity rules.
bool udb_is_numeric_type(VARTYPE vt);  // 2-6, 11, 14, 16-21 (not 22, 23)
bool udb_is_string_type(VARTYPE vt);   // 8, 30, 31
bool udb_is_binary_type(VARTYPE vt);   // 65, 70, 8209

// Field type descriptor: one column.
struct t_ftd {
  // The column's maximum length as its reader reports it (characters for strings); 0 = no limit.
  uint32_t size = 0;
  std::u16string name;
  VARTYPE vartype = VT_EMPTY;
  bool auto_increment = false;
  bool b_not_null = false;
  // Empty when the column has no default.
  ole_variant default_value;
  // Marks columns that need special value handling, 0 for all others. The readers set the date
  // kind (1 date and time, 2 date, 3 time), the signedness of 64-bit integers (1 signed,
  // 2 unsigned) or scale | precision << 8 for exact decimals.
  int32_t reserved = 0;

  t_ftd();
  t_ftd(const std::u16string& name, VARTYPE vartype, uint32_t size = 0, bool b_not_null = false,
        int32_t reserved = 0);

  // Equal types: VT_DECIMAL and VT_CY count as one; two VT_BSTR columns only with equal sizes;
  // any other two columns of the same type regardless of size.
  bool operator==(const t_ftd& other) const;
  // Whether values of this (source) column can be stored in `dest`.
  bool conform_to(const t_ftd& dest) const;
};

// The ordered columns of one table. An owning schema (the default) deletes its descriptors when
// it is destroyed or cleared; a non-owning one only refers to descriptors that live elsewhere and
// must not outlive them. Copying makes an owning schema of copies, whatever the source's kind.
class udb_schema {
 public:
  using const_iterator = std::vector<t_ftd*>::const_iterator;

  explicit udb_schema(bool owns_fields = true) : owns_fields_(owns_fields) {}
  udb_schema(const udb_schema& other);
  udb_schema& operator=(const udb_schema& other);
  udb_schema(udb_schema&& other) noexcept;
  udb_schema& operator=(udb_schema&& other) noexcept;
  ~udb_schema();

  bool owns_fields() const { return owns_fields_; }

  // Appends a column. An owning schema takes ownership of `field`.
  void add(t_ftd* field);
  void add(std::unique_ptr<t_ftd> field);
  // Appends a copy; only an owning schema can hold one (tk_mail_assertion otherwise).
  void add(const t_ftd& field);
  void clear();

  size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }
  // Column i; an index outside the list raises tk_mail_assertion.
  t_ftd& operator[](size_t i);
  const t_ftd& operator[](size_t i) const;
  const_iterator begin() const { return fields_.begin(); }
  const_iterator end() const { return fields_.end(); }

  // Name lookups compare whole names case ignored.
  // True when a column has that name.
  bool find_field(const std::u16string& name) const;
  // The column of that name: the descriptor form of find_field. A missing name raises
  // tk_mail_assertion.
  const t_ftd& get_field(const std::u16string& name) const;
  t_ftd& get_field(const std::u16string& name);
  // The position of the column, or -1.
  int get_field_idx(const std::u16string& name) const;
  // Size and type of the named column; a missing name raises tk_mail_assertion.
  uint32_t get_field_size(const std::u16string& name) const;
  VARTYPE get_field_type(const std::u16string& name) const;

  // Whether a table of this (source) schema can pour its rows into a table of `dest`: the same
  // number of columns and each column conforming to the one at the same position. Names play no
  // part.
  bool conform_to(const udb_schema& dest) const;

 private:
  const t_ftd* lookup(const std::u16string& name) const;

  std::vector<t_ftd*> fields_;
  bool owns_fields_;
};
