#include "mss_fast_load.h"

#include <sql.h>
#include <sqlext.h>
// The driver's bulk-copy wrappers. The header uses NULL without declaring it.
#include <cstddef>
#define TDSODBC_BCP
#include <odbcss.h>

#include <cstring>

#include "mss_literal.h"
#include "mss_msgs.h"
#include "mss_stream.h"
#include "mss_vers.h"
#include "odb_diag.h"
#include "odb_exce.h"
#include "ole_date.h"
#include "ole_numeric.h"
#include "ole_variant.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr const char* source_name = "mss_floa";
constexpr int32_t null_length = -1;
constexpr size_t prefix = 4;
constexpr size_t numeric_size = 19;
// The hint that keeps a NULL a NULL where the column has a default.
constexpr char keep_nulls_hint[] = "KEEP_NULLS";

using u128 = unsigned __int128;

u128 pow10(int n) {
  u128 r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

void put_prefix(uint8_t* at, int32_t length) { std::memcpy(at, &length, sizeof length); }

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

unsigned days_in_month(unsigned y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))) return 29;
  return days[m - 1];
}

// The driver's records for a failed bulk-copy call, as the exception of the layer.
odb_exception bulk_failure(const odb_link& link, const char* trace_format) {
  odb_diag_records records = odb_read_diag(link.dbc);
  const int32_t hr = records.empty() ? odb_hr::e_fail : odb_hresult_of(records);
  tk_trace(2, trace_format, static_cast<unsigned>(hr));
  return odb_exception(hr, records);
}

[[noreturn]] void refuse_value(int32_t hresult, const std::u16string& text) {
  odb_diag_record record;
  record.sqlstate = hresult == odb_hr::integrity_violation ? "23000" : "22007";
  record.message = text;
  throw odb_exception(hresult, odb_diag_records{record});
}

// The UTF-16 text cut to at most `max_chars` units (0: no limit), never inside a surrogate pair.
std::u16string cut(const std::u16string& text, uint32_t max_chars) {
  if (max_chars == 0 || text.size() <= max_chars) return text;
  size_t n = max_chars;
  if (text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  return text.substr(0, n);
}

template <class T>
mss_bound_value bytes_of(const T& v) {
  mss_bound_value out;
  out.bytes.assign(reinterpret_cast<const char*>(&v), sizeof v);
  return out;
}

}  // namespace

bool mss_encode_numeric(const DECIMAL& value, uint8_t precision, uint8_t scale, uint8_t out[19]) {
  if (precision < 1 || precision > 38 || scale > precision) return false;
  u128 m = (static_cast<u128>(value.hi32) << 64) | value.lo64;
  const int vscale = value.scale;
  const u128 limit = pow10(precision);
  if (vscale > scale) {
    const u128 unit = pow10(vscale - scale);
    const u128 rest = m % unit;
    m /= unit;
    if (rest * 2 >= unit) ++m;
  } else {
    for (int i = vscale; i < scale; ++i) {
      if (m >= limit) return false;
      m *= 10;
    }
  }
  if (m >= limit) return false;
  out[0] = precision;
  out[1] = scale;
  out[2] = (value.sign & ole_decimal_negative) && m != 0 ? 0 : 1;
  for (int i = 0; i < 16; ++i) out[3 + i] = static_cast<uint8_t>(m >> (8 * i));
  return true;
}

bool mss_encode_datetime(const SYSTEMTIME& st, int32_t& days, int32_t& ticks) {
  if (st.wYear < 1753 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > days_in_month(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999)
    return false;
  int64_t d = days_from_civil(st.wYear, st.wMonth, st.wDay) - days_from_civil(1900, 1, 1);
  const int64_t ms = ((static_cast<int64_t>(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000 +
                     st.wMilliseconds;
  int64_t t = (ms * 3 + 5) / 10;
  if (t >= 300LL * 86400) {
    t -= 300LL * 86400;
    ++d;
  }
  days = static_cast<int32_t>(d);
  ticks = static_cast<int32_t>(t);
  return true;
}

std::vector<mss_bcp_column> mss_bcp_plan(const udb_schema& schema, const odb_columns_info& columns,
                                         int version_code) {
  if (schema.size() != columns.size()) throw tk_mail_assertion(source_name, __LINE__);
  std::vector<mss_bcp_column> plan(schema.size());
  size_t offset = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    const t_ftd& f = schema[i];
    const odb_column_info& c = columns[i];
    mss_bcp_column& b = plan[i];
    b.nullable = (c.flags & dbcolumnflags::isnullable) != 0;
    switch (f.vartype) {
      case VT_I2:
      case VT_I1:
        b.host_type = mss_bcp_type::int2;
        b.capacity = 2;
        break;
      case VT_I4:
      case VT_UI2:
      case VT_INT:
        b.host_type = mss_bcp_type::int4;
        b.capacity = 4;
        break;
      case VT_R4:
      case VT_R8:
        b.host_type = mss_bcp_type::flt8;
        b.capacity = 8;
        break;
      case VT_CY:
        b.host_type = mss_bcp_type::numeric;
        b.capacity = numeric_size;
        b.precision = 19;
        b.scale = 4;
        break;
      case VT_DATE:
        b.host_type = mss_bcp_type::datetime;
        b.capacity = 8;
        break;
      case VT_BOOL:
        b.host_type = mss_bcp_type::bit;
        b.capacity = 1;
        break;
      case VT_DECIMAL:
        b.host_type = mss_bcp_type::numeric;
        b.capacity = numeric_size;
        b.precision = c.precision ? c.precision : static_cast<uint8_t>((f.reserved >> 8) & 0xFF);
        b.scale = c.precision ? c.scale : static_cast<uint8_t>(f.reserved & 0xFF);
        if (b.precision == 0) b.precision = 38;
        break;
      case VT_UI1:
        b.host_type = mss_bcp_type::int1;
        b.capacity = 1;
        break;
      case VT_I8:
      case VT_UI4:
      case VT_UINT:
        b.host_type = version_code >= mss_version_2000 ? mss_bcp_type::int8 : mss_bcp_type::flt8;
        b.capacity = 8;
        break;
      default: {
        const bool binary = ole_variant::is_blob_type(f.vartype);
        b.host_type = binary ? mss_bcp_type::binary : mss_bcp_type::character;
        const uint64_t bytes = binary ? c.column_size : uint64_t{c.column_size} * 2;
        b.stream = (c.flags & dbcolumnflags::islong) != 0 || bytes > 8000;
        if (!b.stream) {
          b.max_chars = binary ? 0 : c.column_size;
          // UTF-8 takes at most three bytes for each UTF-16 unit.
          b.capacity = binary ? c.column_size : size_t{c.column_size} * 3;
        }
        break;
      }
    }
    b.offset = offset;
    offset += prefix + b.capacity;
  }
  return plan;
}

mss_fast_load::mss_fast_load() : null_prefix_(prefix) {
  put_prefix(null_prefix_.data(), null_length);
}

mss_fast_load::~mss_fast_load() {
  release_streams();
  if (link_ && link_->busy_with == this) link_->busy_with = nullptr;
}

void* mss_fast_load::dbc() const { return link_->dbc.get(); }

void mss_fast_load::open_table(const odb_session& session, const std::u16string& table_id,
                               const udb_schema& schema, const odb_columns_info& columns,
                               int version_code) {
  tk_trace(2, "mss_fast_load::open_table");
  if (open_ || !session) throw tk_mail_assertion(source_name, __LINE__);
  session_ = session;
  table_id_ = table_id;
  plan_ = mss_bcp_plan(schema, columns, version_code);
  size_t size = 0;
  for (const mss_bcp_column& b : plan_) size += prefix + b.capacity;
  row_.assign(size, 0);
  for (const mss_bcp_column& b : plan_) put_prefix(row_.data() + b.offset, null_length);
  release_streams();
  streams_.assign(plan_.size(), nullptr);
  odb_data_source& ds = session_.data_source();
  if (!ds.bulk_copy() && !ds.set_bulk_copy(true))
    throw odb_exception(odb_hr::e_fail,
                        odb_diag_records{{"HY000", 0, u"The driver refused bulk copy.", {}}});
  link_ = &ds.primary_link();
  start();
  counter_ = 0;
  tk_trace(1, "b_open_table->true");
  open_ = true;
}

void mss_fast_load::start() {
  SQLHDBC h = dbc();
  if (bcp_initW(h, reinterpret_cast<const SQLWCHAR*>(table_id_.c_str()), nullptr, nullptr,
                BCP_DIRECTION_IN) != SUCCEED)
    throw bulk_failure(*link_, "open_rowset->OpenRowset failed: %08X");
  if (bcp_control(h, BCPKEEPIDENTITY, reinterpret_cast<void*>(1)) != SUCCEED ||
      bcp_control(h, BCPHINTS, const_cast<char*>(keep_nulls_hint)) != SUCCEED)
    throw bulk_failure(*link_, "open_rowset->OpenRowset failed: %08X");
  for (size_t i = 0; i < plan_.size(); ++i) {
    const mss_bcp_column& b = plan_[i];
    const uint8_t* at = b.stream ? null_prefix_.data() : row_.data() + b.offset;
    if (bcp_bind(h, at, prefix, SQL_VARLEN_DATA, nullptr, 0, b.host_type,
                 static_cast<int>(i + 1)) != SUCCEED) {
      odb_exception e = bulk_failure(*link_, "Accessor binding failed: %08X");
      throw e;
    }
  }
  started_ = true;
  sending_ = false;
}

void mss_fast_load::set_busy(bool busy) {
  if (!link_) return;
  if (busy) {
    link_->busy_with = this;
  } else if (link_->busy_with == this) {
    link_->busy_with = nullptr;
  }
}

void mss_fast_load::release_streams() {
  for (mss_mem_stream*& s : streams_) {
    if (s) s->release();
    s = nullptr;
  }
}

void mss_fast_load::BindData(const void* source, size_t count, size_t length, size_t column) {
  tk_trace(1, "mss_fast_load::BindData(%d,%d,%d)", static_cast<int>(count),
           static_cast<int>(length), static_cast<int>(column));
  if (!open_ || column < 1 || column > plan_.size()) throw tk_mail_assertion(source_name, __LINE__);
  const mss_bcp_column& b = plan_[column - 1];
  const bool is_null = count == 0 && source == nullptr;
  if (b.stream) {
    if (streams_[column - 1]) streams_[column - 1]->release();
    streams_[column - 1] = nullptr;
    if (!is_null) {
      mss_mem_stream* s = mss_mem_stream::create();
      s->write(source, static_cast<uint32_t>(count), nullptr);
      streams_[column - 1] = s;
    }
    return;
  }
  if (count > b.capacity) throw tk_mail_assertion(source_name, __LINE__);
  uint8_t* at = row_.data() + b.offset;
  put_prefix(at, is_null ? null_length : static_cast<int32_t>(length));
  if (count) std::memcpy(at + prefix, source, count);
}

void mss_fast_load::bind_stream(mss_mem_stream* stream, size_t column) {
  if (!open_ || column < 1 || column > plan_.size() || !plan_[column - 1].stream)
    throw tk_mail_assertion(source_name, __LINE__);
  if (streams_[column - 1]) streams_[column - 1]->release();
  streams_[column - 1] = stream;
}

void mss_fast_load::insert_data() {
  tk_trace(2, "mss_fast_load::insert_data");
  if (!open_) throw tk_mail_assertion(source_name, __LINE__);
  if (!started_) start();
  SQLHDBC h = dbc();
  for (size_t i = 0; i < plan_.size(); ++i) {
    if (!plan_[i].stream) continue;
    const uint8_t* at = streams_[i] ? streams_[i]->prefixed() : null_prefix_.data();
    if (bcp_colptr(h, at, static_cast<int>(i + 1)) != SUCCEED)
      throw bulk_failure(*link_, "m_spFastLoad->InsertRow failed: %08X");
  }
  set_busy(true);
  if (bcp_sendrow(h) != SUCCEED) {
    odb_exception e = bulk_failure(*link_, "m_spFastLoad->InsertRow failed: %08X");
    if (!sending_) set_busy(false);
    throw e;
  }
  sending_ = true;
  counter_ = (counter_ + 1) % 1000;
  if (counter_ == 0) finish_batch(false);
}

void mss_fast_load::finish_batch(bool final_commit) {
  SQLHDBC h = dbc();
  const int rows = final_commit ? bcp_done(h) : bcp_batch(h);
  if (rows < 0) {
    odb_exception e = bulk_failure(*link_, "m_spFastLoad->Commit failed: %08X");
    // The driver's bulk operation ends with a refused batch; the next row starts a new one.
    if (!final_commit) bcp_done(h);
    started_ = false;
    sending_ = false;
    set_busy(false);
    throw e;
  }
  committed_rows_ += rows;
  if (!final_commit) ++intermediate_commits_;
}

void mss_fast_load::close_table() {
  tk_trace(2, "mss_fast_load::close_table");
  if (!open_) throw tk_mail_assertion(source_name, __LINE__);
  tk_trace(1, "Right before m_spFastLoad->Commit");
  bool failed = false;
  if (started_ && sending_) {
    try {
      finish_batch(true);
    } catch (const odb_exception&) {
      tk_trace(1, "m_spFastLoad->Commit failed");
      failed = true;
    }
  }
  tk_trace(1, "Right after m_spFastLoad->Commit");
  release_streams();
  started_ = false;
  sending_ = false;
  open_ = false;
  set_busy(false);
  tk_trace(1, "mss_fast_load::close_table - at the end");
  if (failed) throw tk_exception(mss_msg_generic_migration_error, 0);
}

mss_bound_value mss_fast_value(const ole_variant& original, const t_ftd& field,
                               const mss_bcp_column& bind, size_t column) {
  ole_variant value = original;
  // A date that is no date at all (a month or day of 0 that is not MySQL's zero date) is
  // missing, as its text form is empty in the statement path.
  if (value.get_type() == VT_DATE && !ole_date(value).is_valid()) value.set_null();
  if (value.get_type() == VT_EMPTY || value.get_type() == VT_NULL) {
    if (!field.b_not_null && bind.nullable) return mss_bound_value{true, {}};
    value = mss_not_null_substitute(field);
    if (value.get_type() == VT_EMPTY)
      refuse_value(odb_hr::integrity_violation,
                   u"Cannot insert the value NULL into column '" + field.name + u"'.");
  }
  value = mss_row_safe_value(value);

  switch (field.vartype) {
    case VT_I2:
    case VT_I1: {
      const int16_t v = static_cast<int16_t>(value.to_long());
      tk_trace(1, "Got VT_I1/2: %d", v);
      return bytes_of(v);
    }
    case VT_I4:
    case VT_UI2:
    case VT_INT: {
      const int32_t v = value.to_long();
      tk_trace(1, "Got VT_UI2/I4: %d", v);
      return bytes_of(v);
    }
    case VT_R4:
    case VT_R8: {
      const double v = value.to_double();
      tk_trace(1, "Got VT_R4/8: %lg", v);
      return bytes_of(v);
    }
    case VT_CY:
    case VT_DECIMAL: {
      DECIMAL d{};
      if (value.get_type() == VT_DECIMAL) {
        d = value.get_decimal();
      } else if (value.get_type() == VT_CY) {
        ole_numeric::dec_from_cy(value.get_cy(), d);
      } else {
        ole_variant copy = value;
        copy.change_type(VT_DECIMAL);
        d = copy.get_decimal();
      }
      if (field.vartype == VT_DECIMAL) {
        t_ftd limits(field.name, VT_DECIMAL, 0, false, field.reserved);
        if (limits.reserved == 0) limits.reserved = bind.scale | bind.precision << 8;
        if (dec_is_out_of_range(ole_variant(d), &limits)) {
          tk_trace(1, "Decimal is out of range");
          const bool negative = (d.sign & ole_decimal_negative) != 0;
          ole_numeric::dec_from_text(tk_wide_to_narrow(gen_dec_value(&limits, negative)), d);
        }
      }
      uint8_t numeric[numeric_size];
      if (!mss_encode_numeric(d, bind.precision, bind.scale, numeric)) {
        tk_trace(1, "mss_table::fast_append. Conversion error. Decimal type. Column#: %d",
                 static_cast<int>(column));
        throw tk_exception(mss_msg_cannot_cast, 0);
      }
      return bytes_of(numeric);
    }
    case VT_DATE: {
      int32_t dt[2];
      if (!mss_encode_datetime(value.get_systemtime(), dt[0], dt[1]))
        refuse_value(odb_hr::cant_convert_value, u"The conversion of a date value of column '" +
                                                     field.name +
                                                     u"' resulted in an out-of-range value.");
      return bytes_of(dt);
    }
    case VT_BOOL: {
      const uint8_t v = value.to_bool() ? 1 : 0;
      tk_trace(1, "Got VT_BOOL: %d", v);
      return bytes_of(v);
    }
    case VT_UI1: {
      const uint8_t v = static_cast<uint8_t>(value.to_long());
      tk_trace(1, "Got VT_UI1: %d", v);
      return bytes_of(v);
    }
    case VT_I8:
    case VT_UI4:
    case VT_UINT: {
      if (bind.host_type != mss_bcp_type::int8) return bytes_of(value.to_double());
      int64_t v = 0;
      if (value.get_type() == VT_I8) {
        v = value.get_int64();
      } else {
        ole_variant copy = value;
        try {
          copy.change_type(VT_I8);
          v = copy.get_int64();
        } catch (const ole_cast_exception&) {
        }
      }
      tk_trace(1, "Got VT_I8");
      return bytes_of(v);
    }
    default:
      break;
  }
  mss_bound_value out;
  if (ole_variant::is_blob_type(field.vartype)) {
    const uint8_t* bytes = nullptr;
    size_t n = value.get_bytes(bytes);
    if (!bind.stream && n > bind.capacity) n = bind.capacity;
    if (n) out.bytes.assign(reinterpret_cast<const char*>(bytes), n);
    return out;
  }
  tk_trace(1, "Convert as a string");
  const std::u16string text = value.to_wstring();
  if (bind.stream) {
    // The driver takes text in its client character set, UTF-8.
    out.bytes = tk_wide_to_utf8(text);
    return out;
  }
  tk_trace(1, "Binding string: expected size=%d, actual size=%d", static_cast<int>(field.size),
           static_cast<int>(text.size() * 2));
  uint32_t limit = bind.max_chars;
  if (field.size && (limit == 0 || field.size < limit)) limit = field.size;
  out.bytes = tk_wide_to_utf8(cut(text, limit));
  return out;
}
