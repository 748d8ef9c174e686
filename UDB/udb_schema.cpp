#include "udb_schema.h"

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {
constexpr const char* source_name = "udb_sche";
}

bool udb_is_numeric_type(VARTYPE vt) {
  return (vt >= VT_I2 && vt <= VT_CY) || vt == VT_BOOL || vt == VT_DECIMAL ||
         (vt >= VT_I1 && vt <= VT_UI8);
}

bool udb_is_string_type(VARTYPE vt) { return vt == VT_BSTR || vt == VT_LPSTR || vt == VT_LPWSTR; }

bool udb_is_binary_type(VARTYPE vt) {
  return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_ARRAY_UI1;
}

t_ftd::t_ftd() { tk_trace(1, "t_ftd::ctor"); }

t_ftd::t_ftd(const std::u16string& name, VARTYPE vartype, uint32_t size, bool b_not_null,
             int32_t reserved)
    : size(size), name(name), vartype(vartype), b_not_null(b_not_null), reserved(reserved) {
  tk_trace(1, "t_ftd::ctor2");
  tk_wtrace(1, u"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", name, vartype,
            size, b_not_null, reserved);
}

bool t_ftd::operator==(const t_ftd& other) const {
  tk_trace(1, "t_ftd::operator ==");
  const bool money = (vartype == VT_DECIMAL && other.vartype == VT_CY) ||
                     (vartype == VT_CY && other.vartype == VT_DECIMAL);
  if (money) return true;
  if (vartype != other.vartype) return false;
  return vartype != VT_BSTR || size == other.size;
}

bool t_ftd::conform_to(const t_ftd& dest) const {
  tk_trace(1, "t_ftd::conform_to");
  if (*this == dest) return true;
  bool size_test = false;
  const VARTYPE to = dest.vartype;
  if ((to >= VT_I2 && to <= VT_CY) || to == VT_BOOL || to == VT_DECIMAL ||
      (to >= VT_I1 && to <= VT_UINT)) {
    return udb_is_numeric_type(vartype);
  } else if (to == VT_DATE) {
    return vartype == VT_DATE || (vartype == VT_BSTR && size == 19);
  } else if (udb_is_string_type(to)) {
    if (udb_is_binary_type(vartype)) return false;
    size_test = udb_is_string_type(vartype);
  } else if (udb_is_binary_type(to)) {
    size_test = udb_is_string_type(vartype) || udb_is_binary_type(vartype);
  } else {
    return false;
  }
  return !size_test || dest.size == 0 || dest.size >= size;
}

udb_schema::udb_schema(const udb_schema& other) : owns_fields_(true) {
  fields_.reserve(other.fields_.size());
  for (const t_ftd* field : other.fields_) fields_.push_back(new t_ftd(*field));
}

udb_schema& udb_schema::operator=(const udb_schema& other) {
  if (this != &other) {
    udb_schema copy(other);
    *this = std::move(copy);
  }
  return *this;
}

udb_schema::udb_schema(udb_schema&& other) noexcept
    : fields_(std::move(other.fields_)), owns_fields_(other.owns_fields_) {
  other.fields_.clear();
}

udb_schema& udb_schema::operator=(udb_schema&& other) noexcept {
  if (this != &other) {
    clear();
    fields_ = std::move(other.fields_);
    owns_fields_ = other.owns_fields_;
    other.fields_.clear();
  }
  return *this;
}

udb_schema::~udb_schema() { clear(); }

void udb_schema::add(t_ftd* field) {
  if (!field) throw tk_mail_assertion(source_name, __LINE__);
  if (!owns_fields_) {
    fields_.push_back(field);
    return;
  }
  add(std::unique_ptr<t_ftd>(field));
}

void udb_schema::add(std::unique_ptr<t_ftd> field) {
  if (!field) throw tk_mail_assertion(source_name, __LINE__);
  if (!owns_fields_) throw tk_mail_assertion(source_name, __LINE__);
  fields_.push_back(field.get());
  field.release();
}

void udb_schema::add(const t_ftd& field) { add(std::make_unique<t_ftd>(field)); }

void udb_schema::clear() {
  if (owns_fields_)
    for (t_ftd* field : fields_) delete field;
  fields_.clear();
}

t_ftd& udb_schema::operator[](size_t i) {
  if (i >= fields_.size()) throw tk_mail_assertion(source_name, __LINE__);
  return *fields_[i];
}

const t_ftd& udb_schema::operator[](size_t i) const {
  if (i >= fields_.size()) throw tk_mail_assertion(source_name, __LINE__);
  return *fields_[i];
}

const t_ftd* udb_schema::lookup(const std::u16string& name) const {
  for (const t_ftd* field : fields_) {
    tk_wtrace(1, u"Processing %s", field->name);
    if (tk_iequal(field->name, name)) return field;
  }
  return nullptr;
}

bool udb_schema::find_field(const std::u16string& name) const {
  tk_wtrace(1, u"udb_schema::find_field(%s)", name);
  return lookup(name) != nullptr;
}

const t_ftd& udb_schema::get_field(const std::u16string& name) const {
  tk_wtrace(1, u"udb_schema::find_field(%s)", name);
  if (const t_ftd* field = lookup(name)) return *field;
  throw tk_mail_assertion(source_name, __LINE__);
}

t_ftd& udb_schema::get_field(const std::u16string& name) {
  return const_cast<t_ftd&>(static_cast<const udb_schema*>(this)->get_field(name));
}

int udb_schema::get_field_idx(const std::u16string& name) const {
  tk_wtrace(1, u"udb_schema::get_field_idx(%s)", name);
  for (size_t i = 0; i < fields_.size(); ++i)
    if (tk_iequal(fields_[i]->name, name)) return static_cast<int>(i);
  return -1;
}

uint32_t udb_schema::get_field_size(const std::u16string& name) const {
  tk_wtrace(1, u"udb_schema::get_field_size(%s)", name);
  if (const t_ftd* field = lookup(name)) return field->size;
  throw tk_mail_assertion(source_name, __LINE__);
}

VARTYPE udb_schema::get_field_type(const std::u16string& name) const {
  tk_wtrace(1, u"udb_schema::get_field_type(%s)", name);
  if (const t_ftd* field = lookup(name)) return field->vartype;
  throw tk_mail_assertion(source_name, __LINE__);
}

bool udb_schema::conform_to(const udb_schema& dest) const {
  tk_trace(1, "udb_schema::conform_to");
  if (size() != dest.size()) {
    tk_trace(2, "Tables are not conformed: src_size=%d, dest_size=%d", static_cast<int>(size()),
             static_cast<int>(dest.size()));
    return false;
  }
  for (size_t i = 0; i < size(); ++i) {
    const t_ftd& src = *fields_[i];
    const t_ftd& to = *dest.fields_[i];
    if (!src.conform_to(to)) {
      tk_trace(2, "Column #%d doesn't conform (src_vt=%d, src_size=%d, dest_vt=%d, dest_size=%d)",
               static_cast<int>(i + 1), src.vartype, static_cast<int>(src.size), to.vartype,
               static_cast<int>(to.size));
      return false;
    }
  }
  return true;
}
