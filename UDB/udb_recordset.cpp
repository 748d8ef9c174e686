#include "udb_recordset.h"

#include "tk_exception.h"
#include "tk_log.h"

udb_recordset::udb_recordset(const std::u16string& name, const std::u16string& source)
    : source(source), name(name) {}

udb_recordset::~udb_recordset() noexcept(false) {}

void udb_recordset::update(const udb_record&) { tk_trace(2, "udb_recordset::update"); }

const udb_record& udb_recordset::get_item() {
  static const udb_record none;
  return none;
}

bool udb_recordset::is_eof() { return true; }

bool udb_recordset::is_query() { return !source.empty(); }

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::convert_record(udb_record& record) const {
  tk_trace(1, "udb_recordset::convert_record");
  if (record.size() > schema.size()) throw tk_mail_assertion("udb_recs", __LINE__);
  for (size_t i = 0; i < record.size(); ++i) {
    const t_ftd& column = schema[i];
    tk_wtrace(1, u"from=%s, to=%s", record[i].name, column.name);
    record[i].change_type(column.vartype);
  }
}

void udb_recordset::add_index(const udb_index& index) {
  tk_trace(2, "udb_recordset::add_index");
  if (!indexes.is_acceptable_name(index.name)) return;
  indexes.push_back(index);
  if (update_key < 0 && (index.primary || index.unique))
    update_key = static_cast<int32_t>(indexes.size() - 1);
}

void udb_recordset::clean_indexes() {
  tk_trace(2, "udb_recordset::clean_indexes");
  indexes.clear();
  update_key = -1;
}
