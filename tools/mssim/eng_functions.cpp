// Built-in functions, system variables and aggregates as the compiler translates them. A name
// SQL Server does not know is refused with 195 (4121 when schema-qualified), as SQL Server does,
// rather than passed on to SQLite, which knows different functions.
#include <algorithm>
#include <cmath>

#include "eng_query.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {
namespace {

cexpr constant(const value& v, const type_desc& t) {
  cexpr c;
  c.is_const = true;
  c.cval = v;
  c.type = t;
  c.sql = v.kind == value::null ? "NULL" : sql_literal(v, t);
  return c;
}

cexpr text_const(const std::u16string& s, int32_t len = 128) {
  type_desc t = nvarchar_type(len);
  t.nullable = false;
  return constant(value::make_text(s), t);
}

cexpr int_const(int64_t v, type_desc t = int_type()) { return constant(value::make_int(v), t); }

void merge(cexpr& into, const cexpr& from) {
  into.agg = into.agg || from.agg;
  into.ungrouped.insert(into.ungrouped.end(), from.ungrouped.begin(), from.ungrouped.end());
}

const char* const date_parts[] = {
    "year", "yy",          "yyyy",      "quarter",     "qq",      "q",          "month",
    "mm",   "m",           "dayofyear", "dy",          "y",       "day",        "dd",
    "d",    "week",        "wk",        "ww",          "weekday", "dw",         "w",
    "hour", "hh",          "minute",    "mi",          "n",       "second",     "ss",
    "s",    "millisecond", "ms",        "microsecond", "mcs",     "nanosecond", "ns"};

bool known_part(const std::u16string& p) {
  for (const char* n : date_parts)
    if (ieq_ascii(p, n)) return true;
  return false;
}

std::string sql_text(const std::u16string& s) { return sql_quote(to_utf8(s)); }

type_desc numeric_result_of(const type_desc& t) {
  if (t.type == col_type::numeric) return numeric_type(38, t.scale);
  return t;
}

}  // namespace

bool is_aggregate_name(const std::u16string& n) {
  static const char* const names[] = {"COUNT", "COUNT_BIG", "SUM",    "AVG", "MIN",
                                      "MAX",   "STDEV",     "STDEVP", "VAR", "VARP"};
  for (const char* a : names)
    if (ieq_ascii(n, a)) return true;
  return false;
}

bool contains_aggregate(const expr& e) {
  if (e.kind == expr::func && e.name.parts.size() == 1 && is_aggregate_name(e.name.parts[0]))
    return true;
  for (const auto& a : e.args)
    if (a && contains_aggregate(*a)) return true;
  return false;  // subqueries aggregate on their own level
}

cexpr compiler::aggregate(const expr& e, scope& sc, clause where) {
  const std::u16string& name = e.name.parts[0];
  std::u16string up = upper(name);
  if (where == clause::where) throw sql_error(147, {});
  if (where == clause::group_by) throw sql_error(144, {});
  if (agg_depth_ > 0) throw sql_error(130, {});
  cexpr r;
  r.agg = true;
  if (e.star) {
    if (up != u"COUNT" && up != u"COUNT_BIG") throw sql_error(102, {u"*"});
    r.sql = "count(*)";
    r.type = up == u"COUNT" ? int_type() : bigint_type();
    r.type.nullable = false;
    return r;
  }
  if (e.args.size() != 1) throw sql_error(174, {lower(name), u"1"});
  ++agg_depth_;
  cexpr a;
  try {
    a = expression(*e.args[0], sc, where);
  } catch (...) {
    --agg_depth_;
    throw;
  }
  --agg_depth_;
  if (a.is_bool) throw sql_error(102, {u")"});
  if (a.sql.find("(SELECT") != std::string::npos && a.sql.find("count(*) > 1") != std::string::npos)
    throw sql_error(130, {});
  std::string distinct = e.distinct ? "DISTINCT " : "";
  const type_desc& t = a.type;
  bool lob = t.type == col_type::text || t.type == col_type::ntext || t.type == col_type::image;
  if (up == u"COUNT" || up == u"COUNT_BIG") {
    if (lob && e.distinct) throw sql_error(306, {});
    r.sql = "count(" + distinct + a.sql + ")";
    r.type = up == u"COUNT" ? int_type() : bigint_type();
    r.type.nullable = false;
  } else if (up == u"MIN" || up == u"MAX") {
    if (lob) throw sql_error(8117, {type_name(t), lower(name)});
    if (t.type == col_type::bit) throw sql_error(8117, {u"bit", lower(name)});
    std::string coll = is_char(t.type) && !a.is_column ? " COLLATE MSCI" : "";
    if (t.type == col_type::numeric || t.type == col_type::money || t.type == col_type::smallmoney)
      coll = a.is_column ? "" : " COLLATE MSNUM";
    r.sql = lower(up) == u"min" ? "min(" + distinct + a.sql + coll + ")"
                                : "max(" + distinct + a.sql + coll + ")";
    r.type = t;
    r.type.identity = false;
    r.type.nullable = true;
  } else {
    if (!is_numeric_family(t.type) || t.type == col_type::bit) {
      if (is_char(t.type) || is_temporal(t.type) || t.type == col_type::bit || is_binary(t.type) ||
          t.type == col_type::uniqueidentifier)
        throw sql_error(8117, {type_name(t), lower(name)});
    }
    if (up == u"SUM") {
      r.type = numeric_result_of(t);
      if (t.type == col_type::tinyint || t.type == col_type::smallint) r.type = int_type();
      if (t.type == col_type::smallmoney) r.type = make_type(col_type::money);
      if (t.type == col_type::real) r.type = float_type();
      r.sql = "sum(" + distinct + a.sql + ")";
    } else if (up == u"AVG") {
      if (is_integer(t.type)) {
        r.type = t.type == col_type::bigint ? bigint_type() : int_type();
        r.sql = "CAST(avg(" + distinct + a.sql + ") AS INTEGER)";
      } else {
        r.type = t;
        if (t.type == col_type::numeric) r.type = numeric_type(38, std::max<int>(t.scale, 6));
        if (t.type == col_type::smallmoney) r.type = make_type(col_type::money);
        if (t.type == col_type::real) r.type = float_type();
        r.sql = "avg(" + distinct + a.sql + ")";
      }
    } else {
      // STDEV, STDEVP, VAR, VARP: float results over the sample or the population.
      bool pop = up == u"STDEVP" || up == u"VARP";
      bool root = up == u"STDEV" || up == u"STDEVP";
      std::string x = "CAST(" + a.sql + " AS REAL)";
      std::string n = "count(" + a.sql + ")";
      std::string var = "((sum(" + x + "*" + x + ") - sum(" + x + ")*sum(" + x + ")/" + n + ")/(" +
                        n + (pop ? "" : " - 1") + "))";
      std::string guard = pop ? n + " >= 1" : n + " >= 2";
      r.sql =
          "(CASE WHEN " + guard + " THEN " + (root ? "sqrt(max(0.0, " + var + "))" : var) + " END)";
      r.type = float_type();
    }
    r.type.identity = false;
    r.type.nullable = true;
  }
  r.ungrouped.clear();
  return r;
}

cexpr compiler::function(const expr& e, scope& sc, clause where) {
  session::impl& s = s_;
  if (e.kind == expr::sysvar) {
    std::u16string v = e.name.parts[0];  // upper case, without @@
    if (v.rfind(u"@@", 0) == 0) v = v.substr(2);
    if (v == u"VERSION") return text_const(s.eng.ver.text, 300);
    if (v == u"SERVERNAME") return text_const(s.eng.opts.server_name);
    if (v == u"SERVICENAME") return text_const(u"MSSQLSERVER");
    if (v == u"SPID") return int_const(s.spid, make_type(col_type::smallint));
    if (v == u"ROWCOUNT") return int_const(s.last_rowcount);
    if (v == u"TRANCOUNT") return int_const(s.trancount);
    if (v == u"ERROR") return int_const(s.last_error);
    if (v == u"LANGUAGE") return text_const(s.o.language);
    if (v == u"DATEFIRST") return int_const(s.o.datefirst, make_type(col_type::tinyint));
    if (v == u"MAX_PRECISION") return int_const(38, make_type(col_type::tinyint));
    if (v == u"TEXTSIZE") return int_const(s.o.textsize);
    if (v == u"LOCK_TIMEOUT") return int_const(-1);
    if (v == u"NESTLEVEL") return int_const(s.in_proc ? 1 : 0);
    if (v == u"MICROSOFTVERSION")
      return int_const((int64_t(s.eng.ver.major) << 24) | (int64_t(s.eng.ver.minor) << 16) |
                       s.eng.ver.build);
    if (v == u"OPTIONS") {
      int64_t o = 0;
      if (s.o.ansi_warnings) o |= 8;
      if (s.o.ansi_padding) o |= 16;
      if (s.o.ansi_nulls) o |= 32;
      if (s.o.arithabort) o |= 64;
      if (s.o.quoted_identifier) o |= 256;
      if (s.o.nocount) o |= 512;
      if (s.o.ansi_null_dflt_on) o |= 1024;
      if (s.o.concat_null_yields_null) o |= 4096;
      if (s.o.xact_abort) o |= 16384;
      return int_const(o);
    }
    if (v == u"IDENTITY") {
      type_desc t = numeric_type(38, 0);
      if (!s.has_identity) return constant(value::make_null(), t);
      return constant(from_dec(dec_from_i64(s.last_identity)), t);
    }
    throw sql_error(137, {e.name.text});
  }

  if (e.name.parts.size() > 1) {
    std::u16string schema = e.name.parts[e.name.parts.size() - 2];
    throw sql_error(4121, {schema, e.name.text});
  }
  const std::u16string& name = e.name.parts[0];
  if (is_aggregate_name(name)) return aggregate(e, sc, where);
  std::u16string f = upper(name);
  const size_t n = e.args.size();
  auto argc = [&](size_t lo, size_t hi) {
    if (n < lo || n > hi) {
      if (lo == hi) throw sql_error(174, {lower(name), num(int64_t(lo))});
      throw sql_error(189, {lower(name), num(int64_t(lo)), num(int64_t(hi))});
    }
  };
  auto arg = [&](size_t i) {
    cexpr c = expression(*e.args[i], sc, where);
    if (c.is_bool) throw sql_error(4145, {u","});
    return c;
  };
  auto part_arg = [&](size_t i) {
    const expr& a = *e.args[i];
    std::u16string p;
    if (a.kind == expr::column && a.name.parts.size() == 1)
      p = a.name.parts[0];
    else if (a.kind == expr::literal && a.lit.kind == value::text)
      p = a.lit.s;
    else
      throw sql_error(1023, {num(int64_t(i + 1)), lower(name)});
    if (!known_part(p)) throw sql_error(155, {p, lower(name)});
    return p;
  };
  // Date arguments: strings become datetime, as SQL Server converts them implicitly.
  auto date_arg = [&](size_t i) {
    cexpr c = arg(i);
    if (c.is_const && c.cval.kind == value::null) return c;
    if (is_char(c.type.type) || is_numeric_family(c.type.type))
      c = coerce(c, datetime_type());
    else if (!is_temporal(c.type.type))
      throw sql_error(8116, {type_name(c.type), num(int64_t(i + 1)), lower(name)});
    return c;
  };
  auto text_arg = [&](size_t i) {
    cexpr c = arg(i);
    if (c.is_const && c.cval.kind == value::null) {
      c.type = varchar_type(1);
      return c;
    }
    if (!is_char(c.type.type)) {
      if (is_binary(c.type.type)) return c;
      c = coerce(c, varchar_type(30), true);
    }
    return c;
  };
  auto int_arg = [&](size_t i) {
    cexpr c = arg(i);
    if (c.is_const && c.cval.kind == value::null) return c;
    if (!is_numeric_family(c.type.type) || !is_exact(c.type.type) || !is_integer(c.type.type))
      c = coerce(c, bigint_type());
    return c;
  };
  auto result = [&](std::string sql, type_desc t, std::initializer_list<const cexpr*> from) {
    cexpr r;
    r.sql = std::move(sql);
    r.type = t;
    r.type.identity = false;
    for (const cexpr* c : from) merge(r, *c);
    return r;
  };
  auto code = [](const type_desc& t) { return std::to_string(pack_type(t)); };

  // ---- date and time
  if (f == u"GETDATE" || f == u"CURRENT_TIMESTAMP" || f == u"GETUTCDATE" || f == u"SYSDATETIME" ||
      f == u"SYSUTCDATETIME") {
    argc(0, 0);
    bool utc = f == u"GETUTCDATE" || f == u"SYSUTCDATETIME";
    type_desc t = (f == u"SYSDATETIME" || f == u"SYSUTCDATETIME")
                      ? make_type(col_type::datetime2, 0, 0, 7)
                      : datetime_type();
    t.nullable = false;
    return result("mssim_now(" + code(t) + ", " + (utc ? "1" : "0") + ")", t, {});
  }
  if (f == u"DATEADD") {
    argc(3, 3);
    std::u16string p = part_arg(0);
    cexpr k = int_arg(1), d = date_arg(2);
    type_desc t = (d.is_const && d.cval.kind == value::null) ? datetime_type() : d.type;
    t.nullable = true;
    if (t.type == col_type::date &&
        (ieq_ascii(p, "hour") || ieq_ascii(p, "minute") || ieq_ascii(p, "second") ||
         ieq_ascii(p, "hh") || ieq_ascii(p, "mi") || ieq_ascii(p, "ss") || ieq_ascii(p, "ms") ||
         ieq_ascii(p, "millisecond")))
      throw sql_error(9810, {lower(p), u"dateadd", u"date"});
    return result(
        "mssim_dateadd(" + sql_text(p) + ", " + k.sql + ", " + d.sql + ", " + code(t) + ")", t,
        {&k, &d});
  }
  if (f == u"DATEDIFF" || f == u"DATEDIFF_BIG") {
    argc(3, 3);
    std::u16string p = part_arg(0);
    cexpr a = date_arg(1), b = date_arg(2);
    return result("mssim_datediff(" + sql_text(p) + ", " + a.sql + ", " + b.sql + ", " +
                      code(a.type) + ", " + code(b.type) + ")",
                  f == u"DATEDIFF" ? int_type() : bigint_type(), {&a, &b});
  }
  if (f == u"DATEPART" || f == u"DATENAME") {
    argc(2, 2);
    std::u16string p = part_arg(0);
    cexpr d = date_arg(1);
    if (f == u"DATEPART")
      return result("mssim_datepart(" + sql_text(p) + ", " + d.sql + ", " + code(d.type) + ")",
                    int_type(), {&d});
    return result("mssim_datename(" + sql_text(p) + ", " + d.sql + ", " + code(d.type) + ")",
                  nvarchar_type(30), {&d});
  }
  if (f == u"YEAR" || f == u"MONTH" || f == u"DAY") {
    argc(1, 1);
    cexpr d = date_arg(0);
    return result(
        "mssim_datepart('" + to_utf8(lower(f)) + "', " + d.sql + ", " + code(d.type) + ")",
        int_type(), {&d});
  }

  // ---- NULL handling and choices
  if (f == u"ISNULL") {
    argc(2, 2);
    cexpr a = arg(0), b = arg(1);
    bool a_null = a.is_const && a.cval.kind == value::null;
    type_desc t = a_null ? b.type : a.type;
    if (a_null && b.is_const && b.cval.kind == value::null) t = int_type();
    cexpr bb = (b.is_const && b.cval.kind == value::null) || a_null ? b : coerce(b, t);
    t.nullable = a.type.nullable && bb.type.nullable;
    if (a.is_const && !a_null) return a;
    return result("coalesce(" + a.sql + ", " + bb.sql + ")", t, {&a, &bb});
  }
  if (f == u"COALESCE") {
    if (n < 2) throw sql_error(189, {u"coalesce", u"2", u"..."});
    std::vector<cexpr> xs;
    type_desc t;
    bool first = true;
    for (size_t i = 0; i < n; ++i) {
      xs.push_back(arg(i));
      const cexpr& c = xs.back();
      if (c.is_const && c.cval.kind == value::null) continue;
      t = first ? c.type : common_type(t, c.type);
      first = false;
    }
    if (first) throw sql_error(4127, {});
    std::string sql = "coalesce(";
    cexpr r;
    bool nullable = true;
    for (size_t i = 0; i < xs.size(); ++i) {
      cexpr c = (xs[i].is_const && xs[i].cval.kind == value::null) ? xs[i] : coerce(xs[i], t);
      if (i) sql += ", ";
      sql += c.sql;
      merge(r, c);
      if (!xs[i].type.nullable && !(xs[i].is_const && xs[i].cval.kind == value::null))
        nullable = false;
    }
    r.sql = sql + ")";
    r.type = t;
    r.type.identity = false;
    r.type.nullable = nullable;
    return r;
  }
  if (f == u"NULLIF") {
    argc(2, 2);
    cexpr a = arg(0), b = arg(1);
    cexpr cmp = comparison(u"=", a, b);
    type_desc t = a.type;
    t.nullable = true;
    return result("(CASE WHEN " + cmp.sql + " THEN NULL ELSE " + a.sql + " END)", t, {&cmp});
  }
  if (f == u"IIF") {
    argc(3, 3);
    cexpr c = expression(*e.args[0], sc, where);
    if (!c.is_bool) throw sql_error(4145, {u","});
    cexpr a = arg(1), b = arg(2);
    type_desc t = (a.is_const && a.cval.kind == value::null)   ? b.type
                  : (b.is_const && b.cval.kind == value::null) ? a.type
                                                               : common_type(a.type, b.type);
    cexpr aa = coerce(a, t), bb = coerce(b, t);
    t.nullable = true;
    return result("(CASE WHEN " + c.sql + " THEN " + aa.sql + " ELSE " + bb.sql + " END)", t,
                  {&c, &aa, &bb});
  }

  // ---- strings
  if (f == u"LEN") {
    argc(1, 1);
    cexpr a = text_arg(0);
    if (a.type.type == col_type::text || a.type.type == col_type::ntext)
      throw sql_error(8116, {type_name(a.type), u"1", u"len"});
    return result("mssim_len(" + a.sql + ")", a.type.length < 0 ? bigint_type() : int_type(), {&a});
  }
  if (f == u"DATALENGTH") {
    argc(1, 1);
    cexpr a = arg(0);
    type_desc t = a.type.length < 0 || a.type.type == col_type::text ||
                          a.type.type == col_type::ntext || a.type.type == col_type::image
                      ? bigint_type()
                      : int_type();
    std::string sql;
    if (is_unicode(a.type.type))
      sql = "(length(" + a.sql + ") * 2)";
    else if (is_char(a.type.type) || is_binary(a.type.type))
      sql = "length(" + a.sql + ")";
    else
      sql = "(CASE WHEN " + a.sql + " IS NULL THEN NULL ELSE " +
            std::to_string(fixed_size(a.type)) + " END)";
    return result(sql, t, {&a});
  }
  if (f == u"SUBSTRING") {
    argc(3, 3);
    cexpr a = text_arg(0), b = int_arg(1), c = int_arg(2);
    type_desc t = a.type;
    if (t.type == col_type::text) t = varchar_type(8000);
    if (t.type == col_type::ntext) t = nvarchar_type(4000);
    if (t.type == col_type::image) t = make_type(col_type::varbinary, 8000);
    if (t.type == col_type::char_) t.type = col_type::varchar;
    if (t.type == col_type::nchar) t.type = col_type::nvarchar;
    if (t.type == col_type::binary) t.type = col_type::varbinary;
    return result("mssim_substring(" + a.sql + ", " + b.sql + ", " + c.sql + ")", t, {&a, &b, &c});
  }
  if (f == u"UPPER" || f == u"LOWER") {
    argc(1, 1);
    cexpr a = text_arg(0);
    if (a.type.type == col_type::text || a.type.type == col_type::ntext)
      throw sql_error(8116, {type_name(a.type), u"1", lower(name)});
    return result("mssim_" + to_utf8(lower(f)) + "(" + a.sql + ")", a.type, {&a});
  }
  if (f == u"LTRIM" || f == u"RTRIM" || f == u"TRIM") {
    argc(1, 1);
    cexpr a = text_arg(0);
    type_desc t = a.type;
    if (t.type == col_type::char_) t.type = col_type::varchar;
    if (t.type == col_type::nchar) t.type = col_type::nvarchar;
    return result(to_utf8(lower(f)) + "(" + a.sql + ", ' ')", t, {&a});
  }
  if (f == u"REPLACE") {
    argc(3, 3);
    cexpr a = text_arg(0), b = text_arg(1), c = text_arg(2);
    bool uni = is_unicode(a.type.type) || is_unicode(b.type.type) || is_unicode(c.type.type);
    type_desc t = a.type.length < 0
                      ? make_type(uni ? col_type::nvarchar : col_type::varchar, -1)
                      : make_type(uni ? col_type::nvarchar : col_type::varchar, uni ? 4000 : 8000);
    return result("mssim_replace(" + a.sql + ", " + b.sql + ", " + c.sql + ")", t, {&a, &b, &c});
  }
  if (f == u"CHARINDEX") {
    argc(2, 3);
    cexpr a = text_arg(0), b = text_arg(1);
    cexpr c = n > 2 ? int_arg(2) : int_const(1);
    return result("mssim_charindex(" + a.sql + ", " + b.sql + ", " + c.sql + ")",
                  b.type.length < 0 ? bigint_type() : int_type(), {&a, &b, &c});
  }
  if (f == u"PATINDEX") {
    argc(2, 2);
    cexpr p = text_arg(0), a = text_arg(1);
    // The first position where the rest of the string matches the pattern without its leading %.
    return result("mssim_patindex(" + p.sql + ", " + a.sql + ")", int_type(), {&p, &a});
  }
  if (f == u"LEFT" || f == u"RIGHT") {
    argc(2, 2);
    cexpr a = text_arg(0), b = int_arg(1);
    if (a.type.type == col_type::text || a.type.type == col_type::ntext)
      throw sql_error(8116, {type_name(a.type), u"1", lower(name)});
    type_desc t = a.type;
    if (t.type == col_type::char_) t.type = col_type::varchar;
    if (t.type == col_type::nchar) t.type = col_type::nvarchar;
    return result("mssim_" + to_utf8(lower(f)) + "(" + a.sql + ", " + b.sql + ")", t, {&a, &b});
  }
  if (f == u"CONCAT") {
    if (n < 2) throw sql_error(189, {u"concat", u"2", u"254"});
    std::vector<cexpr> xs;
    bool uni = false, max = false;
    int64_t len = 0;
    for (size_t i = 0; i < n; ++i) {
      cexpr c = arg(i);
      if (c.is_const && c.cval.kind == value::null) continue;
      if (!is_char(c.type.type)) c = coerce(c, nvarchar_type(4000), true);
      if (is_unicode(c.type.type)) uni = true;
      if (c.type.length < 0) max = true;
      len += c.type.length;
      xs.push_back(std::move(c));
    }
    type_desc t = make_type(uni ? col_type::nvarchar : col_type::varchar,
                            max || len > (uni ? 4000 : 8000) ? -1 : std::max<int64_t>(1, len));
    t.nullable = false;
    cexpr r;
    std::string sql = "(''";
    for (const cexpr& c : xs) {
      sql += " || coalesce(" + c.sql + ", '')";
      merge(r, c);
    }
    r.sql = sql + ")";
    r.type = t;
    return r;
  }
  if (f == u"SPACE" || f == u"REPLICATE") {
    cexpr a, b;
    if (f == u"SPACE") {
      argc(1, 1);
      a = constant(value::make_text(u" "), varchar_type(1));
      b = int_arg(0);
    } else {
      argc(2, 2);
      a = text_arg(0);
      b = int_arg(1);
    }
    type_desc t = make_type(is_unicode(a.type.type) ? col_type::nvarchar : col_type::varchar,
                            a.type.length < 0         ? -1
                            : is_unicode(a.type.type) ? 4000
                                                      : 8000);
    return result("mssim_replicate(" + a.sql + ", " + b.sql + ")", t, {&a, &b});
  }
  if (f == u"REVERSE") {
    argc(1, 1);
    cexpr a = text_arg(0);
    return result("mssim_reverse(" + a.sql + ")", a.type, {&a});
  }
  if (f == u"STUFF") {
    argc(4, 4);
    cexpr a = text_arg(0), b = int_arg(1), c = int_arg(2), d = text_arg(3);
    type_desc t = make_type(
        is_unicode(a.type.type) || is_unicode(d.type.type) ? col_type::nvarchar : col_type::varchar,
        a.type.length < 0         ? -1
        : is_unicode(a.type.type) ? 4000
                                  : 8000);
    return result("mssim_stuff(" + a.sql + ", " + b.sql + ", " + c.sql + ", " + d.sql + ")", t,
                  {&a, &b, &c, &d});
  }
  if (f == u"ASCII" || f == u"UNICODE") {
    argc(1, 1);
    cexpr a = text_arg(0);
    return result("unicode(" + a.sql + ")", int_type(), {&a});
  }
  if (f == u"CHAR" || f == u"NCHAR") {
    argc(1, 1);
    cexpr a = int_arg(0);
    std::string lim = f == u"CHAR" ? "255" : "65535";
    return result(
        "(CASE WHEN " + a.sql + " BETWEEN 0 AND " + lim + " THEN char(" + a.sql + ") END)",
        f == u"CHAR" ? make_type(col_type::char_, 1) : make_type(col_type::nchar, 1), {&a});
  }
  if (f == u"QUOTENAME") {
    argc(1, 2);
    cexpr a = text_arg(0);
    std::u16string q = u"[";
    if (n > 1) {
      cexpr c = arg(1);
      if (!c.is_const || c.cval.kind != value::text || c.cval.s.empty())
        throw sql_error(8116, {type_name(c.type), u"2", u"quotename"});
      q = c.cval.s.substr(0, 1);
    }
    std::string open, close;
    if (q == u"[" || q == u"]")
      open = "[", close = "]";
    else if (q == u"\"")
      open = close = "\"";
    else if (q == u"'")
      open = close = "'";
    else if (q == u"(" || q == u")")
      open = "(", close = ")";
    else if (q == u"<" || q == u">")
      open = "<", close = ">";
    else if (q == u"{" || q == u"}")
      open = "{", close = "}";
    else if (q == u"`")
      open = close = "`";
    else
      return constant(value::make_null(), nvarchar_type(258));
    std::string qc = sql_quote(close), dbl = sql_quote(close + close);
    return result("(CASE WHEN length(" + a.sql + ") <= 128 THEN " + sql_quote(open) +
                      " || replace(" + a.sql + ", " + qc + ", " + dbl + ") || " + qc + " END)",
                  nvarchar_type(258), {&a});
  }

  // ---- numbers
  if (f == u"ABS") {
    argc(1, 1);
    cexpr a = arg(0);
    if (is_char(a.type.type)) a = coerce(a, float_type());
    if (!is_numeric_family(a.type.type)) throw sql_error(8116, {type_name(a.type), u"1", u"abs"});
    return result("abs(" + a.sql + ")", a.type, {&a});
  }
  if (f == u"SIGN") {
    argc(1, 1);
    cexpr a = arg(0);
    if (!is_numeric_family(a.type.type)) throw sql_error(8116, {type_name(a.type), u"1", u"sign"});
    return result("(CASE WHEN " + a.sql + " > 0 THEN 1 WHEN " + a.sql + " < 0 THEN -1 WHEN " +
                      a.sql + " = 0 THEN 0 END)",
                  a.type, {&a});
  }
  if (f == u"ROUND") {
    argc(2, 3);
    cexpr a = arg(0), b = int_arg(1);
    cexpr c = n > 2 ? int_arg(2) : int_const(0);
    if (is_char(a.type.type)) a = coerce(a, float_type());
    if (!is_numeric_family(a.type.type)) throw sql_error(8116, {type_name(a.type), u"1", u"round"});
    type_desc t = a.type;
    if (t.type == col_type::numeric) t = numeric_type(std::min(38, t.precision + 1), t.scale);
    return result("mssim_round(" + a.sql + ", " + b.sql + ", " + c.sql + ")", t, {&a, &b, &c});
  }
  if (f == u"FLOOR" || f == u"CEILING") {
    argc(1, 1);
    cexpr a = arg(0);
    if (is_char(a.type.type)) a = coerce(a, float_type());
    if (!is_numeric_family(a.type.type))
      throw sql_error(8116, {type_name(a.type), u"1", lower(name)});
    type_desc t = a.type;
    if (t.type == col_type::numeric) t = numeric_type(t.precision, 0);
    return result("mssim_" + to_utf8(lower(f)) + "(" + a.sql + ")", t, {&a});
  }
  if (f == u"POWER") {
    argc(2, 2);
    cexpr a = arg(0), b = arg(1);
    if (is_char(a.type.type)) a = coerce(a, float_type());
    if (!is_numeric_family(a.type.type)) throw sql_error(8116, {type_name(a.type), u"1", u"power"});
    type_desc t = a.type;
    if (t.type == col_type::numeric) t = numeric_type(38, t.scale);
    if (is_integer(t.type) && t.type != col_type::bigint) t = int_type();
    return result("mssim_power(" + a.sql + ", " + b.sql + ")", t, {&a, &b});
  }
  if (f == u"SQRT" || f == u"EXP" || f == u"LOG" || f == u"LOG10" || f == u"SQUARE") {
    argc(1, 1);
    cexpr a = arg(0);
    if (is_char(a.type.type)) a = coerce(a, float_type());
    if (!is_numeric_family(a.type.type))
      throw sql_error(8116, {type_name(a.type), u"1", lower(name)});
    if (f == u"SQUARE")
      return result("(CAST(" + a.sql + " AS REAL) * " + a.sql + ")", float_type(), {&a});
    return result("mssim_" + to_utf8(lower(f)) + "(" + a.sql + ")", float_type(), {&a});
  }
  if (f == u"PI") {
    argc(0, 0);
    return constant(value::make_float(3.14159265358979323846), float_type());
  }
  if (f == u"RAND") {
    argc(0, 1);
    return result("((random() & 9007199254740991) / 9007199254740992.0)", float_type(), {});
  }
  if (f == u"ISNUMERIC") {
    argc(1, 1);
    cexpr a = arg(0);
    type_desc t = int_type();
    t.nullable = false;
    return result("mssim_isnumeric(" + a.sql + ")", t, {&a});
  }
  if (f == u"NEWID") {
    argc(0, 0);
    type_desc t = make_type(col_type::uniqueidentifier);
    t.nullable = false;
    return result("mssim_newid()", t, {});
  }

  // ---- the server, the session, the catalogue
  if (f == u"DB_NAME") {
    argc(0, 1);
    if (n == 0) return text_const(s.db->name);
    cexpr a = arg(0);
    if (!a.is_const) throw sql_error(8116, {type_name(a.type), u"1", u"db_name"});
    if (a.cval.kind == value::null) return constant(value::make_null(), nvarchar_type(128));
    int64_t id = a.cval.kind == value::i64 ? a.cval.i : -1;
    for (const auto& d : s.eng.all_dbs())
      if (d->id == id) return text_const(d->name);
    return constant(value::make_null(), nvarchar_type(128));
  }
  if (f == u"DB_ID") {
    argc(0, 1);
    if (n == 0) return int_const(s.db->id, make_type(col_type::smallint));
    cexpr a = arg(0);
    if (!a.is_const || (a.cval.kind != value::text && a.cval.kind != value::null))
      throw sql_error(8116, {type_name(a.type), u"1", u"db_id"});
    if (a.cval.kind == value::text)
      if (auto d = s.eng.find_db(a.cval.s)) return int_const(d->id, make_type(col_type::smallint));
    return constant(value::make_null(), make_type(col_type::smallint));
  }
  if (f == u"OBJECT_ID") {
    argc(1, 2);
    cexpr a = arg(0);
    if (!a.is_const || (a.cval.kind != value::text && a.cval.kind != value::null))
      throw sql_error(8116, {type_name(a.type), u"1", u"object_id"});
    std::u16string want;
    if (n > 1) {
      cexpr b = arg(1);
      if (b.is_const && b.cval.kind == value::text) want = upper(rtrim_spaces(b.cval.s));
    }
    if (a.cval.kind == value::text) {
      qname q = parse_object_name(a.cval.s);
      mssim::database* in = nullptr;
      if (!q.empty())
        if (object_info* o = s.find_object(q, in)) {
          if (want.empty() || (want == u"U" && o->kind == 'U') || (want == u"V" && o->kind == 'V'))
            return int_const(o->id);
        }
    }
    return constant(value::make_null(), int_type());
  }
  if (f == u"OBJECT_NAME") {
    argc(1, 2);
    cexpr a = arg(0);
    if (a.is_const && a.cval.kind == value::i64)
      if (object_info* o = s.db->cat.by_id(a.cval.i)) return text_const(o->name);
    return constant(value::make_null(), nvarchar_type(128));
  }
  if (f == u"SCHEMA_NAME") {
    argc(0, 1);
    return text_const(u"dbo");
  }
  if (f == u"USER_NAME" || f == u"CURRENT_USER" || f == u"SESSION_USER" || f == u"USER") {
    argc(0, f == u"USER_NAME" ? 1 : 0);
    return text_const(u"dbo");
  }
  if (f == u"SUSER_SNAME" || f == u"SUSER_NAME" || f == u"SYSTEM_USER" || f == u"ORIGINAL_LOGIN") {
    argc(0, 1);
    return text_const(s.login);
  }
  if (f == u"HOST_NAME" || f == u"APP_NAME") {
    argc(0, 0);
    return text_const(u"");
  }
  if (f == u"SERVERPROPERTY") {
    argc(1, 1);
    cexpr a = arg(0);
    if (!a.is_const || a.cval.kind != value::text)
      return constant(value::make_null(), nvarchar_type(128));
    std::u16string p = a.cval.s;
    const version_info& v = s.eng.ver;
    if (ieq_ascii(p, "ProductVersion")) return text_const(v.product_version);
    if (ieq_ascii(p, "ProductMajorVersion")) return text_const(num(v.major));
    if (ieq_ascii(p, "ProductMinorVersion")) return text_const(num(v.minor));
    if (ieq_ascii(p, "ProductBuild")) return text_const(num(v.build));
    if (ieq_ascii(p, "ProductLevel")) return text_const(s.eng.product_level());
    if (ieq_ascii(p, "Edition")) return text_const(s.eng.edition());
    if (ieq_ascii(p, "EngineEdition")) return int_const(s.eng.engine_edition());
    if (ieq_ascii(p, "ServerName") || ieq_ascii(p, "MachineName") ||
        ieq_ascii(p, "ComputerNamePhysicalNetBIOS"))
      return text_const(s.eng.opts.server_name);
    if (ieq_ascii(p, "InstanceName")) return constant(value::make_null(), nvarchar_type(128));
    if (ieq_ascii(p, "Collation")) return text_const(u"SQL_Latin1_General_CP1_CI_AS");
    if (ieq_ascii(p, "IsIntegratedSecurityOnly") || ieq_ascii(p, "IsClustered") ||
        ieq_ascii(p, "IsFullTextInstalled") || ieq_ascii(p, "IsSingleUser"))
      return int_const(0);
    return constant(value::make_null(), nvarchar_type(128));
  }
  if (f == u"DATABASEPROPERTYEX") {
    argc(2, 2);
    cexpr a = arg(0), b = arg(1);
    if (a.is_const && a.cval.kind == value::text && b.is_const && b.cval.kind == value::text) {
      if (auto d = s.eng.find_db(a.cval.s)) {
        if (ieq_ascii(b.cval.s, "Status")) return text_const(u"ONLINE");
        if (ieq_ascii(b.cval.s, "Collation")) return text_const(u"SQL_Latin1_General_CP1_CI_AS");
        if (ieq_ascii(b.cval.s, "Updateability")) return text_const(u"READ_WRITE");
        if (ieq_ascii(b.cval.s, "UserAccess")) return text_const(u"MULTI_USER");
      }
    }
    return constant(value::make_null(), nvarchar_type(128));
  }
  if (f == u"SCOPE_IDENTITY") {
    argc(0, 0);
    type_desc t = numeric_type(38, 0);
    if (!s.has_scope_identity) return constant(value::make_null(), t);
    return constant(from_dec(dec_from_i64(s.scope_identity)), t);
  }
  if (f == u"IDENT_CURRENT" || f == u"IDENT_SEED" || f == u"IDENT_INCR") {
    argc(1, 1);
    cexpr a = arg(0);
    type_desc t = numeric_type(38, 0);
    if (a.is_const && a.cval.kind == value::text) {
      qname q = parse_object_name(a.cval.s);
      mssim::database* in = nullptr;
      object_info* o = q.empty() ? nullptr : s.find_object(q, in);
      if (o && o->identity_col()) {
        const col_info* c = o->identity_col();
        int64_t v = f == u"IDENT_SEED"   ? c->seed
                    : f == u"IDENT_INCR" ? c->increment
                    : o->ident_used      ? o->ident_current
                                         : c->seed;
        return constant(from_dec(dec_from_i64(v)), t);
      }
    }
    return constant(value::make_null(), t);
  }
  if (f == u"ISDATE") {
    argc(1, 1);
    cexpr a = arg(0);
    type_desc t = int_type();
    t.nullable = false;
    if (is_temporal(a.type.type)) return result("(" + a.sql + " IS NOT NULL)", t, {&a});
    if (!is_char(a.type.type)) return int_const(0);
    return result("mssim_isdate(" + a.sql + ", " + std::to_string(int(s.o.dateformat)) + ")", t,
                  {&a});
  }
  if (f == u"FORMATMESSAGE" || f == u"ERROR_MESSAGE" || f == u"ERROR_NUMBER") {
    return constant(value::make_null(), f == u"ERROR_NUMBER" ? int_type() : nvarchar_type(4000));
  }
  throw sql_error(195, {name, u"built-in function name"});
}

}  // namespace mssim
