#include "odb_acc.h"

#include <algorithm>
#include <cstring>

#include "odb_rec.h"
#include "tk_exception.h"
#include "tk_log.h"

odb_accessor::~odb_accessor() {
  if (bound_) tk_trace(2, "odb_accessor::dtor");
}

size_t odb_accessor::slot_size(uint16_t type, uint32_t column_size) {
  uint64_t size;
  switch (type) {
    case dbtype::empty:
    case dbtype::null:
    case dbtype::i2:
    case dbtype::i4:
    case dbtype::r4:
    case dbtype::r8:
    case dbtype::cy:
    case dbtype::error:
    case dbtype::boolean:
    case dbtype::i1:
    case dbtype::ui1:
    case dbtype::ui2:
    case dbtype::ui4:
    case dbtype::i8:
    case dbtype::ui8:
      size = 52;
      break;
    case dbtype::date:
    case dbtype::decimal:
    case dbtype::guid:
    case dbtype::numeric:
    case dbtype::dbdate:
    case dbtype::dbtimestamp:
      size = 102;
      break;
    case dbtype::bstr:
    case dbtype::str:
    case dbtype::wstr:
      size = (std::min<uint64_t>(column_size, max_slot) + 1) * 2;
      break;
    case dbtype::bytes:
      size = (2 * std::min<uint64_t>(column_size, max_slot) + 1) * 2;
      break;
    default:
      size = column_size ? column_size : max_slot;
      break;
  }
  return static_cast<size_t>(std::min<uint64_t>(size, max_slot));
}

void odb_accessor::bind(odb_rowset& rowset, size_t column_count, const odb_columns_info* info) {
  tk_trace(2, "odb_accessor::bind");
  if (!info || info->size() < column_count) throw tk_mail_assertion("odb_acc", __LINE__);
  (void)rowset;
  info_ = info;
  column_count_ = column_count;
  bindings_.clear();
  size_t offset = 0;
  for (size_t i = 0; i < column_count; ++i) {
    const odb_column_info& c = (*info)[i];
    odb_binding b;
    b.ordinal = static_cast<uint32_t>(i + 1);
    b.ob_status = offset;
    b.ob_length = offset + 4;
    b.ob_value = offset + 8;
    b.max_length = slot_size(c.type, c.column_size);
    b.type = c.type == dbtype::bytes ? dbtype::bytes : dbtype::wstr;
    b.precision = c.precision;
    b.scale = c.scale;
    tk_trace(1, "Bind column #%d, type=%d, size=%d", static_cast<int>(b.ordinal), c.type,
             static_cast<int>(b.max_length));
    offset += b.max_length + 8;
    bindings_.push_back(b);
  }
  row_size_ = offset;
  tk_trace(1, "Allocating bind-bufer, %d bytes", static_cast<int>(row_size_));
  // Not value-initialised: slots for long columns are large, and only the part a value uses is
  // ever touched.
  buffer_.reset(new uint8_t[row_size_ ? row_size_ : 1]);
  statuses_.assign(column_count, 0);
  overflow_.assign(column_count, {});
  bound_ = true;
}

std::unique_ptr<odb_record> odb_accessor::get_record(odb_rowset& rowset) {
  tk_trace(2, "odb_accessor::get_record");
  if (!bound_) throw tk_mail_assertion("odb_acc", __LINE__);
  uint8_t* row = buffer_.get();
  for (size_t i = 0; i < column_count_; ++i) {
    const odb_binding& b = bindings_[i];
    uint32_t length = 0;
    bool has_value = rowset.get_data(i, b.type == dbtype::bytes, row + b.ob_value, b.max_length,
                                     length, overflow_[i]);
    uint32_t status = has_value ? dbstatus::s_ok : dbstatus::s_isnull;
    if (!has_value) length = 0;
    statuses_[i] = status;
    std::memcpy(row + b.ob_status, &status, 4);
    std::memcpy(row + b.ob_length, &length, 4);
  }
  return std::make_unique<odb_record>(column_count_, row, info_, &bindings_, &overflow_);
}
