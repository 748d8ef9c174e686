#include "udb_recordset.h"

#include "tk_exception.h"
#include "tk_log.h"

udb_recordset::udb_recordset(const std::u16string& name, const std::u16string& source)
    : source_(source), name_(name) {}

udb_recordset::~udb_recordset() noexcept(false) {}

void udb_recordset::update(udb_record&) { tk_trace(2, "udb_recordset::update"); }

const udb_record& udb_recordset::get_item() {
  static const udb_record none;
  return none;
}

bool udb_recordset::is_eof() { return true; }

bool udb_recordset::is_query() { return !source_.empty(); }

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::convert_record(udb_record& record) const {
  tk_trace(1, "udb_recordset::convert_record");
  if (record.size() > schema_.size()) throw tk_mail_assertion("udb_recs", __LINE__);
  for (size_t i = 0; i < record.size(); ++i) {
    const t_ftd& column = schema_[i];
    tk_wtrace(1, u"from=%s, to=%s", record[i].name, column.name);
    record[i].change_type(column.vartype);
  }
}

void udb_recordset::add_index(const udb_index& index) {
  tk_trace(2, "udb_recordset::add_index");
  if (!indexes_.is_acceptable_name(index.name)) return;
  indexes_.push_back(index);
  if (update_key_ < 0 && (index.primary || index.unique))
    update_key_ = static_cast<int32_t>(indexes_.size() - 1);
}

void udb_recordset::clean_indexes() {
  tk_trace(2, "udb_recordset::clean_indexes");
  indexes_.clear();
  update_key_ = -1;
}
