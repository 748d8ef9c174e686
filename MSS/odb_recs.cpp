#include "odb_recs.h"

#include "tk_exception.h"
#include "tk_log.h"

odb_recordset::odb_recordset(std::unique_ptr<odb_rowset> rowset, const std::u16string& name,
                             const std::u16string& source)
    : udb_recordset(name, source) {
  tk_trace(2, "odb_recordset::ctor");
  set_rowset(std::move(rowset));
}

odb_recordset::odb_recordset(const std::u16string& name, const std::u16string& source)
    : udb_recordset(name, source) {}

odb_recordset::~odb_recordset() noexcept(false) {
  // The cached rows, then the accessor, then the rowset.
  free_cache();
}

void odb_recordset::set_rowset(std::unique_ptr<odb_rowset> rowset) {
  free_cache();
  rowset_ = std::move(rowset);
  initialize();
}

void odb_recordset::initialize() {
  tk_trace(2, "odb_recordset::initialize");
  if (!rowset_) {
    tk_trace(1, "Rowset isn't defined");
    return;
  }
  columns_ = rowset_->columns();
  column_count_ = columns_.size();
  tk_trace(1, "*** Got %d columns ***", static_cast<int>(column_count_));
  schema.clear();
  for (size_t i = 0; i < column_count_; ++i) {
    const odb_column_info& c = columns_[i];
    tk_trace(1, "Column #%d has type=%d,size=%08X", static_cast<int>(i), c.type, c.column_size);
    VARTYPE vt = odb_record::get_vartype(c.type);
    uint32_t size = c.column_size;
    if (c.type == dbtype::bytes) size = size > 0x7FFFFFFFu ? 0xFFFFFFFFu : size * 2;
    if (c.type == dbtype::guid) size = 38;
    int32_t reserved = vt == VT_DATE ? 1 : 0;
    tk_trace(1, ">>> reserved=%d", reserved);
    if (vt == VT_BLOB) size = 0;
    auto field = std::make_unique<t_ftd>(c.name, vt, size,
                                         (c.flags & dbcolumnflags::isnullable) == 0, reserved);
    if (vt == VT_DECIMAL) {
      field->reserved = c.scale | (c.precision << 8);
      tk_wtrace(1, u"Scale/precision for decimal column '%s': (%d, %d)", c.name, c.scale,
                c.precision);
    }
    schema.add(std::move(field));
  }
  free_cache();
  accessor_.bind(*rowset_, column_count_, &columns_);
}

void odb_recordset::free_cache() {
  for (auto& slot : cache_) slot.reset();
  cached_ = 0;
}

void odb_recordset::fill_cache() {
  tk_trace(2, "odb_recordset::fill_cache");
  if (!rowset_) throw tk_mail_assertion("odb_recs", __LINE__);
  free_cache();
  size_t got = 0;
  // The rows are decoded as they arrive; nothing of the rowset outlives this call but the
  // records.
  while (got < cache_size && rowset_->fetch()) {
    fetched_ = true;
    cache_[got++] = accessor_.get_record(*rowset_);
  }
  tk_trace(1, "GetNextRows extracts %d records", static_cast<int>(got));
  cached_ = got;
  tk_trace(1, "End of odb_recordset::fill_cache");
}

void odb_recordset::append_record(const udb_record&) {
  throw tk_mail_assertion("odb_recs", __LINE__);
}

const udb_record& odb_recordset::get_item() {
  tk_trace(2, "odb_recordset::get_item(local_pos=%d)", static_cast<int>(local_pos_));
  if (local_pos_ >= cached_ || !cache_[local_pos_])
    throw tk_mail_assertion("..\\MSS/odb_recs", __LINE__);
  return *cache_[local_pos_];
}

bool odb_recordset::is_eof() { return !(rowset_ && cached_ > 0 && cache_[0]); }

void odb_recordset::next() {
  tk_trace(2, "odb_table::next(%d)", static_cast<int>(local_pos_));
  if (!cache_[0]) throw tk_mail_assertion("odb_recs", __LINE__);
  if (cached_ > 0 && local_pos_ < cached_ - 1) {
    ++local_pos_;
  } else {
    fill_cache();
    local_pos_ = 0;
  }
  ++rows_read_;
}

void odb_recordset::prev() {}

void odb_recordset::reset() {
  tk_trace(2, "odb_table::reset");
  if (!rowset_) return;
  // Rows taken from the rowset are gone from it, whether or not the caller stepped over them: a
  // second reset in a row must restart too, or it would begin with the sixth row.
  if (rows_read_ != 0 || local_pos_ != 0 || fetched_) rowset_->restart();
  fetched_ = false;
  free_cache();
  rows_read_ = 0;
  local_pos_ = 0;
  fill_cache();
}

std::u16string odb_first_value(odb_recordset& rows) {
  rows.reset();
  if (rows.is_eof()) return {};
  const udb_record& r = rows.get_item();
  return r.empty() ? std::u16string() : r[0].to_wstring();
}
