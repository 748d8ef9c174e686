// The engine driven directly, as the wire side drives it: batches, RPC calls and bulk rows in,
// result sets, messages and done items out.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "eng_convert.h"
#include "engine.h"

namespace mssim {
namespace {

std::string text(const value& v, const type_desc& t) {
  if (v.kind == value::null) return "NULL";
  return to_utf8(display_text(v, t));
}

struct reply {
  std::vector<item> items;
  // Error and info numbers, in order (3621 left out).
  std::vector<int> numbers() const {
    std::vector<int> n;
    for (const auto& it : items)
      if ((it.what == item::error || it.what == item::info) && it.msg.number != 3621)
        n.push_back(it.msg.number);
    return n;
  }
  const message* first_error() const {
    for (const auto& it : items)
      if (it.what == item::error) return &it.msg;
    return nullptr;
  }
  // The last result set as "a|b\n" lines.
  std::string rows() const {
    const result_set* rs = nullptr;
    for (const auto& it : items)
      if (it.what == item::rows) rs = &it.rs;
    if (!rs) return "<no rows>";
    std::string out;
    for (const auto& r : rs->rows) {
      for (size_t i = 0; i < r.size(); ++i) out += (i ? "|" : "") + text(r[i], rs->columns[i].type);
      out += "\n";
    }
    return out;
  }
  const result_set* last_set() const {
    const result_set* rs = nullptr;
    for (const auto& it : items)
      if (it.what == item::rows) rs = &it.rs;
    return rs;
  }
};

class Engine : public ::testing::Test {
 protected:
  explicit Engine(options o = {}) : eng_(std::move(o)) { s_ = open(); }
  std::unique_ptr<session> open(const std::u16string& db = u"", bool odbc = true) {
    std::vector<item> out;
    return eng_.open_session(u"sa", db, out, odbc);
  }
  reply run(const std::string& sql, session* s = nullptr) {
    reply r;
    (s ? s : s_.get())->execute(from_utf8(sql), r.items);
    return r;
  }
  // Runs and expects no error at all.
  reply ok(const std::string& sql, session* s = nullptr) {
    reply r = run(sql, s);
    const message* e = r.first_error();
    EXPECT_EQ(e, nullptr) << sql << "\n" << (e ? to_utf8(e->text) : "");
    return r;
  }
  reply call(const std::u16string& proc, std::vector<std::pair<std::u16string, value>> params) {
    reply r;
    s_->call(proc, params, r.items);
    return r;
  }
  engine eng_;
  std::unique_ptr<session> s_;
};

TEST_F(Engine, ErrorsCarrySqlServersNumberClassStateAndText) {
  ok("create table p (id int not null constraint pk_p primary key, name nvarchar(5) not null, "
     "code int null, amount numeric(5,2) null, d datetime null, t tinyint null)");
  ok("create unique index ux_code on p (code)");
  ok("create table c (id int identity(1,1) not null primary key, pid int not null "
     "constraint fk_c_p references p (id))");
  ok("insert into p values (1, N'a', 1, 1, null, null)");
  ok("insert into c (pid) values (1)");
  struct expect {
    const char* sql;
    int number, cls, state;
    const char* text;
  };
  const expect cases[] = {
      {"insert into p values (1, N'b', 2, null, null, null)", 2627, 14, 1,
       "Violation of PRIMARY KEY constraint 'pk_p'. Cannot insert duplicate key in object 'dbo.p'. "
       "The duplicate key value is (1)."},
      {"insert into p values (2, N'b', 1, null, null, null)", 2601, 14, 1,
       "Cannot insert duplicate key row in object 'dbo.p' with unique index 'ux_code'. The "
       "duplicate key value is (1)."},
      {"insert into p (id, name) values (3, NULL)", 515, 16, 2,
       "Cannot insert the value NULL into column 'name', table 'master.dbo.p'; column does not "
       "allow nulls. INSERT fails."},
      {"insert into p values (4, N'toolong', null, null, null, null)", 8152, 16, 14,
       "String or binary data would be truncated."},
      {"insert into p values (5, N'x', null, 12345.678, null, null)", 8115, 16, 8,
       "Arithmetic overflow error converting numeric to data type numeric."},
      {"insert into p values (6, N'x', null, null, '1752-12-31', null)", 242, 16, 3,
       "The conversion of a varchar data type to a datetime data type resulted in an "
       "out-of-range value."},
      {"insert into p values (7, N'x', null, null, 'abc', null)", 241, 16, 1,
       "Conversion failed when converting date and/or time from character string."},
      {"insert into p values ('x7', N'x', null, null, null, null)", 245, 16, 1,
       "Conversion failed when converting the varchar value 'x7' to data type int."},
      {"insert into p values (8, N'x', null, 'abc', null, null)", 8114, 16, 5,
       "Error converting data type varchar to numeric."},
      {"insert into p values (9, N'x', null, null, null, 300)", 220, 16, 2,
       "Arithmetic overflow error for data type tinyint, value = 300."},
      {"insert into c (id, pid) values (5, 1)", 544, 16, 1,
       "Cannot insert explicit value for identity column in table 'c' when IDENTITY_INSERT is set "
       "to OFF."},
      {"insert into c (pid) values (99)", 547, 16, 0,
       "The INSERT statement conflicted with the FOREIGN KEY constraint \"fk_c_p\". The conflict "
       "occurred in database \"master\", table \"dbo.p\", column 'id'."},
      {"delete from p", 547, 16, 0, nullptr},
      {"select * from nosuch", 208, 16, 1, "Invalid object name 'nosuch'."},
      {"select nosuch from p", 207, 16, 1, "Invalid column name 'nosuch'."},
      {"select x.id from p", 4104, 16, 1, "The multi-part identifier \"x.id\" could not be bound."},
      {"select id from p, c", 209, 16, 1, "Ambiguous column name 'id'."},
      {"create table p (x int)", 2714, 16, 6,
       "There is already an object named 'p' in the database."},
      {"create table t2 (id int auto_increment)", 102, 15, 1,
       "Incorrect syntax near 'auto_increment'."},
      {"select * from p where id =", 102, 15, 1, "Incorrect syntax near '='."},
      {"select * from p order", 156, 15, 1, "Incorrect syntax near the keyword 'order'."},
      {"select 'abc", 105, 15, 1, "Unclosed quotation mark after the character string 'abc'."},
      {"select group_concat(name) from p", 195, 15, 10,
       "'group_concat' is not a recognized built-in function name."},
      {"select name, count(*) from p", 8120, 16, 1,
       "Column 'p.name' is invalid in the select list because it is not contained in either an "
       "aggregate function or the GROUP BY clause."},
      {"create table t3 (a int, a int)", 2705, 16, 3,
       "Column names in each table must be unique. Column name 'a' in table 't3' is specified "
       "more than once."},
      {"create table t4 (a mediumtext)", 2715, 16, 6,
       "Column, parameter, or variable #1: Cannot find data type mediumtext."},
      {"create table t5 (a int(11))", 2716, 16, 1,
       "Column, parameter, or variable #1: Cannot specify a column width on data type int."},
      {"create database master", 1801, 16, 3,
       "Database 'master' already exists. Choose a different database name."},
      {"drop database nodb", 3701, 11, 1,
       "Cannot drop the database 'nodb', because it does not exist or you do not have "
       "permission."},
      {"drop table nosuch", 3701, 11, 5,
       "Cannot drop the table 'nosuch', because it does not exist or you do not have permission."},
      {"use nodb", 911, 16, 1,
       "Database 'nodb' does not exist. Make sure that the name is entered correctly."},
      {"set identity_insert p on", 8106, 16, 1,
       "Table 'p' does not have the identity property. Cannot perform SET operation."},
      {"select 1/0", 8134, 16, 1, "Divide by zero error encountered."},
      {"commit", 3902, 16, 1,
       "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
      {"exec sp_nothing", 2812, 16, 62, "Could not find stored procedure 'sp_nothing'."},
  };
  for (const auto& c : cases) {
    reply r = run(c.sql);
    const message* e = r.first_error();
    ASSERT_NE(e, nullptr) << c.sql;
    EXPECT_EQ(e->number, c.number) << c.sql << ": " << to_utf8(e->text);
    EXPECT_EQ(e->cls, c.cls) << c.sql;
    EXPECT_EQ(e->state, c.state) << c.sql;
    if (c.text) {
      EXPECT_EQ(to_utf8(e->text), c.text) << c.sql;
    }
    ASSERT_FALSE(r.items.empty());
    EXPECT_TRUE(r.items.back().what == item::done && r.items.back().failed) << c.sql;
  }
  // A syntax error anywhere refuses the whole batch before anything runs.
  reply r =
      run("insert into p values (10, N'z', null, null, null, null) select * from p where id =");
  EXPECT_EQ(r.numbers(), std::vector<int>{102});
  EXPECT_EQ(ok("select count(*) from p where id = 10").rows(), "0\n");
  // A statement-level error lets the batch go on.
  r = run("insert into p values (1, N'dup', null, null, null, null) select count(*) from p");
  EXPECT_EQ(r.numbers(), std::vector<int>{2627});
  EXPECT_EQ(r.rows(), "1\n");
}

TEST_F(Engine, IdentityFollowsExplicitValuesAndOneTablePerSession) {
  ok("create table a (id int identity(10,5) not null, v int null)");
  ok("create table b (id bigint identity not null, v int null)");
  ok("insert into a (v) values (1)");
  ok("set identity_insert a on");
  ok("insert into a (id, v) values (100, 2)");
  reply r = run("set identity_insert b on");
  ASSERT_NE(r.first_error(), nullptr);
  EXPECT_EQ(to_utf8(r.first_error()->text),
            "IDENTITY_INSERT is already ON for table 'master.dbo.a'. Cannot perform SET operation "
            "for table 'b'.");
  EXPECT_EQ(run("insert into a values (3, 4)").numbers(), std::vector<int>{8101});
  EXPECT_EQ(run("insert into a (v) values (4)").numbers(), std::vector<int>{545});
  ok("set identity_insert a off");
  ok("insert into a (v) values (5)");
  // A failed insert still uses up a value.
  EXPECT_EQ(run("insert into a (v) values ('x')").numbers(), std::vector<int>{245});
  ok("insert into a (v) values (6)");
  EXPECT_EQ(ok("select id, v from a order by id").rows(), "10|1\n100|2\n105|5\n110|6\n");
  EXPECT_EQ(ok("select scope_identity(), @@identity, ident_current('a')").rows(), "110|110|110\n");
  // Identity keeps SQL Server's type limits.
  ok("create table s (id tinyint identity(254,1) not null, v int null)");
  ok("insert into s (v) values (1) insert into s (v) values (2)");
  r = run("insert into s (v) values (3)");
  ASSERT_NE(r.first_error(), nullptr);
  EXPECT_EQ(to_utf8(r.first_error()->text),
            "Arithmetic overflow error converting IDENTITY to data type tinyint.");
}

TEST_F(Engine, UniqueKeysAllowOneNullAndUpdatesAreChecked) {
  ok("create table u (id int not null primary key, code nvarchar(10) null)");
  ok("create unique index ux on u (code)");
  ok("insert into u values (1, NULL)");
  EXPECT_EQ(run("insert into u values (2, NULL)").numbers(), std::vector<int>{2601});
  ok("insert into u values (2, N'Abc')");
  // Keys compare without regard to case, as with SQL Server's default collation.
  EXPECT_EQ(run("insert into u values (3, N'abc')").numbers(), std::vector<int>{2601});
  ok("insert into u values (3, N'x')");
  EXPECT_EQ(run("update u set code = N'ABC' where id = 3").numbers(), std::vector<int>{2601});
  EXPECT_EQ(ok("update u set code = N'y' where id = 3").items.back().count, 1);
  // A unique index over existing duplicates is refused.
  ok("create table w (a int null)");
  ok("insert into w values (1) insert into w values (1)");
  reply r = run("create unique index uw on w (a)");
  EXPECT_EQ(r.numbers(), std::vector<int>{1505});
  EXPECT_EQ(to_utf8(r.first_error()->text),
            "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
            "the object name 'dbo.w' and the index name 'uw'. The duplicate key value is (1).");
}

TEST_F(Engine, ForeignKeysCheckRowsCascadeAndRefuseSecondCascadePaths) {
  ok("create table p (id int not null primary key, n int null)");
  ok("create table c (id int not null primary key, pid int null)");
  ok("insert into p values (1, 0) insert into p values (2, 0)");
  ok("insert into c values (10, 1) insert into c values (11, 3)");
  reply r = run("alter table c add constraint fk_c foreign key (pid) references p (id)");
  EXPECT_EQ(r.numbers(), std::vector<int>{547});
  EXPECT_EQ(to_utf8(r.first_error()->text),
            "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"fk_c\". The "
            "conflict occurred in database \"master\", table \"dbo.p\", column 'id'.");
  ok("alter table c with nocheck add constraint fk_c foreign key (pid) references p (id) on "
     "delete cascade");
  ok("delete from p where id = 1");
  EXPECT_EQ(ok("select id from c").rows(), "11\n");
  // A second cascading path to c, and a cycle, are refused.
  ok("create table q (id int not null primary key, cid int null)");
  r = run(
      "alter table c add constraint fk_c2 foreign key (pid) references q (id) on delete cascade");
  EXPECT_EQ(r.numbers(), (std::vector<int>{547}));
  ok("create table m (id int not null primary key)");
  ok("insert into m values (0)");
  ok("alter table p add constraint fk_pm foreign key (n) references m (id) on delete cascade");
  ok("alter table q add constraint fk_qm foreign key (cid) references m (id) on delete cascade");
  ok("delete from c");
  r = run(
      "alter table c add constraint fk_cq foreign key (pid) references q (id) on delete cascade");
  EXPECT_EQ(r.numbers(), (std::vector<int>{1785, 1750}));
  EXPECT_EQ(to_utf8(r.items[0].msg.text),
            "Introducing FOREIGN KEY constraint 'fk_cq' on table 'c' may cause cycles or multiple "
            "cascade paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other "
            "FOREIGN KEY constraints.");
  r =
      run("alter table m add constraint fk_self foreign key (id) references m (id) on update "
          "cascade");
  EXPECT_EQ(r.numbers(), (std::vector<int>{1785, 1750}));
  // NO ACTION keeps referenced rows.
  ok("alter table c add constraint fk_cq foreign key (pid) references q (id)");
  ok("insert into p values (5, 0) insert into q values (5, null) insert into c values (20, 5)");
  r = run("delete from q where id = 5");
  EXPECT_EQ(r.numbers(), std::vector<int>{547});
  EXPECT_EQ(to_utf8(r.first_error()->text),
            "The DELETE statement conflicted with the REFERENCE constraint \"fk_cq\". The conflict "
            "occurred in database \"master\", table \"dbo.c\", column 'pid'.");
  EXPECT_EQ(run("drop table q").numbers(), std::vector<int>{3726});
  // The key must be a primary or unique key of the referenced table.
  r = run("alter table c add constraint fk_bad foreign key (pid) references p (n)");
  EXPECT_EQ(r.numbers(), (std::vector<int>{1776, 1750}));
}

TEST_F(Engine, TransactionsRollBackRowsAndTablesAndStatementsAreAtomic) {
  ok("create table t (id int not null primary key)");
  ok("insert into t values (1)");
  ok("begin transaction insert into t values (2) create table t2 (x int null) save transaction sp "
     "insert into t values (3) rollback transaction sp");
  EXPECT_EQ(ok("select @@trancount").rows(), "1\n");
  EXPECT_EQ(ok("select id from t order by id").rows(), "1\n2\n");
  ok("rollback");
  EXPECT_EQ(ok("select id from t").rows(), "1\n");
  EXPECT_EQ(run("select * from t2").numbers(), std::vector<int>{208});
  // A statement that fails halfway leaves nothing behind.
  EXPECT_EQ(run("insert into t values (5), (6), (1)").numbers(), std::vector<int>{2627});
  EXPECT_EQ(ok("select count(*) from t").rows(), "1\n");
  // The batches a driver sends with autocommit off.
  ok("begin tran insert into t values (7)");
  ok("IF @@TRANCOUNT > 0 COMMIT");
  EXPECT_EQ(ok("select count(*), @@trancount from t").rows(), "2|0\n");
  // Another session waits for the writer's transaction and then sees its outcome.
  auto other = open();
  ok("begin transaction delete from t where id = 7");
  ok("commit");
  EXPECT_EQ(ok("select count(*) from t", other.get()).rows(), "1\n");
}

TEST_F(Engine, ViewsTranslateTsqlAndRefuseWhatSqlServerRefuses) {
  ok("create table [v_a] ([id] int not null primary key, [name] nvarchar(20) null, [d] datetime "
     "null)");
  ok("create table [v_b] ([aid] int not null, [qty] int not null)");
  ok("insert into [v_a] values (1, N'one', '20111231 10:20:30') insert into [v_a] values (2, "
     "NULL, NULL) insert into [v_b] values (1, 5) insert into [v_b] values (1, 7)");
  ok("create view [v_sum] as select [a].[id], isnull([a].[name], N'-') + N'!' as [label], "
     "DateAdd(day, 1, [a].[d]) as [next_day], count([b].[qty]) as [n], CONCAT([a].[id], '/', "
     "UPPER([a].[name])) as [c], CASE WHEN [a].[d] IS NULL THEN 'none' ELSE CONVERT(varchar(8), "
     "[a].[d], 112) END as [day] from [v_a] [a] left join [v_b] [b] on [b].[aid] = [a].[id] "
     "where [a].[d] is null or [a].[d] < getdate() group by [a].[id], [a].[name], [a].[d]");
  EXPECT_EQ(ok("select * from [v_sum] order by [id]").rows(),
            "1|one!|2012-01-01 10:20:30.000|2|1/ONE|20111231\n2|-!|NULL|0|2/|none\n");
  EXPECT_EQ(ok("select count(*) from (select [a].[id], [b].[qty] from [v_a] [a] cross join [v_b] "
               "[b]) as query")
                .rows(),
            "4\n");
  EXPECT_EQ(run("create view [v_bad] as select group_concat([name]) as [g] from [v_a]").numbers(),
            std::vector<int>{195});
  EXPECT_EQ(run("create view [v_bad] as select [name], count(*) as n from [v_a]").numbers(),
            std::vector<int>{8120});
  EXPECT_EQ(run("create view [v_bad] as select [id] from [v_a] order by [id]").numbers(),
            std::vector<int>{1033});
  EXPECT_EQ(run("create view [v_bad] as select [id] from [nosuch]").numbers(),
            std::vector<int>{208});
  EXPECT_EQ(run("select 1 create view [v_bad] as select 1 as x").numbers(), std::vector<int>{111});
  // The definition as written comes back through INFORMATION_SCHEMA.VIEWS.
  reply r =
      ok("select TABLE_NAME, CHECK_OPTION, IS_UPDATABLE, substring(VIEW_DEFINITION, 1, 20) "
         "from INFORMATION_SCHEMA.VIEWS");
  EXPECT_EQ(r.rows(), "v_sum|NONE|NO|create view [v_sum] \n");
  // A view whose table is gone fails when used.
  ok("create view v_gone as select qty from v_b");
  ok("drop table v_b");
  EXPECT_EQ(run("select * from v_gone").numbers(), std::vector<int>{208});
}

TEST_F(Engine, CatalogProceduresReportSqlServersShapes) {
  ok("create table cat_p (id int not null constraint pk_cat_p primary key, name nvarchar(30) null "
     "default ('x'), qty int not null default 0, at datetime null default getdate(), "
     "amount decimal(10,2) null, big bigint identity(1,1) not null)");
  ok("create table cat_c (id int identity(1,1) not null primary key, pid int null)");
  ok("alter table cat_c add constraint fk_cat foreign key (pid) references cat_p (id) on delete "
     "cascade");
  ok("create index ix_name on cat_p (name desc)");
  reply r = call(u"sp_columns",
                 {{u"@table_name", value::make_text(u"cat_p")}, {u"@ODBCVer", value::make_int(3)}});
  ASSERT_NE(r.last_set(), nullptr);
  EXPECT_EQ(r.last_set()->columns.size(), 19u);
  EXPECT_EQ(to_utf8(r.last_set()->columns[18].name), "SS_DATA_TYPE");
  EXPECT_EQ(r.rows(),
            "master|dbo|cat_p|id|4|int|10|4|0|10|0|NULL|NULL|4|NULL|NULL|1|NO|56\n"
            "master|dbo|cat_p|name|-9|nvarchar|30|60|NULL|NULL|1|NULL|('x')|-9|NULL|60|2|YES|39\n"
            "master|dbo|cat_p|qty|4|int|10|4|0|10|0|NULL|((0))|4|NULL|NULL|3|NO|56\n"
            "master|dbo|cat_p|at|93|datetime|23|16|3|NULL|1|NULL|(getdate())|9|3|NULL|4|YES|111\n"
            "master|dbo|cat_p|amount|3|decimal|10|12|2|10|1|NULL|NULL|3|NULL|NULL|5|YES|106\n"
            "master|dbo|cat_p|big|-5|bigint identity|19|8|0|10|0|NULL|NULL|-5|NULL|NULL|6|NO|63\n");
  EXPECT_EQ(r.items.back().what, item::return_status);
  // Patterns: '_' is a wildcard, so cat_p also matches catXp; the exact name path does not.
  ok("create table catXp (z int null)");
  r = call(u"sp_columns", {{u"", value::make_text(u"cat_p%")}});
  EXPECT_EQ(r.last_set()->rows.size(), 7u);
  r = call(u"[master]..sp_pkeys", {{u"@table_name", value::make_text(u"cat_p")}});
  EXPECT_EQ(r.rows(), "master|dbo|cat_p|id|1|pk_cat_p\n");
  r = call(u"sp_fkeys", {{u"@pktable_name", value::make_text(u"cat_p")}});
  EXPECT_EQ(r.rows(), "master|dbo|cat_p|id|master|dbo|cat_c|pid|1|1|0|fk_cat|pk_cat_p|7\n");
  r = call(u"sp_statistics", {{u"@table_name", value::make_text(u"cat_p")}});
  EXPECT_EQ(r.rows(),
            "master|dbo|cat_p|NULL|NULL|NULL|0|NULL|NULL|NULL|0|0|NULL\n"
            "master|dbo|cat_p|0|cat_p|pk_cat_p|1|1|id|A|0|NULL|NULL\n"
            "master|dbo|cat_p|1|cat_p|ix_name|3|1|name|D|NULL|NULL|NULL\n");
  r = call(u"sp_tables", {{u"@table_name", value::make_text(u"cat[_]%")},
                          {u"@table_type", value::make_text(u"'TABLE','VIEW'")}});
  EXPECT_EQ(r.rows(), "master|dbo|cat_c|TABLE|NULL\nmaster|dbo|cat_p|TABLE|NULL\n");
  r = call(u"sp_tables", {{u"@table_name", value::make_text(u"")},
                          {u"@table_owner", value::make_text(u"")},
                          {u"@table_qualifier", value::make_text(u"%")}});
  EXPECT_EQ(r.rows(),
            "master|NULL|NULL|NULL|NULL\nmodel|NULL|NULL|NULL|NULL\nmsdb|NULL|NULL|NULL|"
            "NULL\ntempdb|NULL|NULL|NULL|NULL\n");
  // Errors of the procedures.
  EXPECT_EQ(call(u"sp_columns", {{u"@table_name", value::make_text(u"cat_p")},
                                 {u"@table_qualifier", value::make_text(u"other")}})
                .numbers(),
            std::vector<int>{15250});
  EXPECT_EQ(call(u"sp_pkeys", {}).numbers(), std::vector<int>{201});
  EXPECT_EQ(call(u"sp_fkeys", {}).numbers(), std::vector<int>{15252});
  EXPECT_EQ(call(u"sp_pkeys", {{u"@bogus", value::make_text(u"x")}}).numbers(),
            std::vector<int>{8145});
  r = call(u"sp_nothing", {});
  EXPECT_EQ(r.numbers(), std::vector<int>{2812});
  for (const auto& it : r.items) EXPECT_NE(it.what, item::return_status);
}

TEST_F(Engine, SpExecutesqlBindsDeclaredParameters) {
  ok("create table t (id int not null, s nvarchar(max) null, b varbinary(max) null)");
  reply r = call(u"sp_executesql",
                 {{u"", value::make_text(u"insert into t values (@P1, @P2, @P3)")},
                  {u"", value::make_text(u"@P1 int, @P2 nvarchar(max), @P3 varbinary(max)")},
                  {u"@P1", value::make_int(7)},
                  {u"@P2", value::make_text(u"seven")},
                  {u"@P3", value::make_bytes(std::string("\x01\x02", 2))}});
  EXPECT_EQ(r.numbers(), std::vector<int>{});
  EXPECT_EQ(r.items.back().what, item::return_status);
  r = call(u"sp_executesql", {{u"@stmt", value::make_text(u"select s, datalength(b) from t where "
                                                          u"id = @id")},
                              {u"@params", value::make_text(u"@id int")},
                              {u"@id", value::make_int(7)}});
  EXPECT_EQ(r.rows(), "seven|2\n");
  r = call(u"sp_executesql",
           {{u"", value::make_text(u"select @x")}, {u"", value::make_text(u"@x int")}});
  ASSERT_NE(r.first_error(), nullptr);
  EXPECT_EQ(r.first_error()->number, 8178);
  EXPECT_EQ(to_utf8(r.first_error()->text),
            "The parameterized query '(@x int)select @x' expects the parameter '@x', which was "
            "not supplied.");
}

TEST_F(Engine, FmtonlyDescribesTablesWithIdentityAndRunsNothing) {
  ok("create table f (id int identity(1,1) not null, n nvarchar(max) null, m money null)");
  reply r = ok("SET FMTONLY ON select * from f SET FMTONLY OFF");
  const result_set* rs = r.last_set();
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->columns.size(), 3u);
  EXPECT_TRUE(rs->columns[0].type.identity);
  EXPECT_FALSE(rs->columns[0].type.nullable);
  EXPECT_EQ(rs->columns[1].type.length, -1);
  EXPECT_TRUE(rs->rows.empty());
  ok("SET FMTONLY ON insert into f (n) values (N'x') SET FMTONLY OFF");
  EXPECT_EQ(ok("select count(*) from f").rows(), "0\n");
}

TEST_F(Engine, BulkRowsAreCheckedLikeInsertsAndStoredAllOrNothing) {
  ok("create table b (id int identity(1,1) not null, n nvarchar(5) null, q int not null default "
     "(42), d datetime null)");
  ok("insert bulk b ([n] NVARCHAR(5), [q] INT, [d] DATETIME) with (TABLOCK)");
  ASSERT_TRUE(s_->bulk_pending());
  ASSERT_EQ(s_->bulk_columns().size(), 3u);
  EXPECT_EQ(to_utf8(s_->bulk_columns()[1].name), "q");
  s_->bulk_row(
      {value::make_text(u"one"), value::make_int(1), value::make_datetime_ticks(40000, 300)});
  // Without KEEP_NULLS a NULL takes the column default.
  s_->bulk_row({value::make_null(), value::make_null(), value::make_null()});
  reply r;
  s_->bulk_end(r.items);
  ASSERT_FALSE(s_->bulk_pending());
  ASSERT_FALSE(r.items.empty());
  EXPECT_EQ(r.items.back().count, 2);
  EXPECT_TRUE(r.items.back().has_count);
  EXPECT_EQ(ok("select id, n, q, d from b order by id").rows(),
            "1|one|1|2009-07-08 00:00:01.000\n2|NULL|42|NULL\n");
  // A value too long refuses the whole message.
  ok("insert bulk b ([n] NVARCHAR(5), [q] INT)");
  s_->bulk_row({value::make_text(u"fine"), value::make_int(3)});
  s_->bulk_row({value::make_text(u"toolong"), value::make_int(4)});
  reply bad;
  s_->bulk_end(bad.items);
  ASSERT_NE(bad.first_error(), nullptr);
  EXPECT_EQ(bad.first_error()->number, 4815);
  EXPECT_EQ(to_utf8(bad.first_error()->text),
            "Received an invalid column length from the bcp client for colid 1.");
  EXPECT_EQ(ok("select count(*) from b").rows(), "2\n");
  // Listing the identity column keeps its values.
  ok("insert bulk b ([id] INT, [n] NVARCHAR(5), [q] INT) with (KEEP_NULLS)");
  s_->bulk_row({value::make_int(50), value::make_null(), value::make_int(5)});
  reply kept;
  s_->bulk_end(kept.items);
  EXPECT_EQ(kept.numbers(), std::vector<int>{});
  EXPECT_EQ(ok("select id, q from b where id = 50").rows(), "50|5\n");
  // An abort drops the rows sent so far.
  ok("insert bulk b ([q] INT)");
  s_->bulk_row({value::make_int(9)});
  s_->bulk_abort();
  EXPECT_EQ(ok("select count(*) from b").rows(), "3\n");
}

class SinkEngine : public Engine {
 protected:
  static options sink() {
    options o;
    o.sink = true;
    return o;
  }
  SinkEngine() : Engine(sink()) {}
};

TEST_F(SinkEngine, RowsAreCheckedAndCountedButNotStored) {
  ok("create table s (id int not null, n nvarchar(3) not null)");
  ok("insert bulk s ([id] INT, [n] NVARCHAR(3))");
  for (int i = 0; i < 1000; ++i) s_->bulk_row({value::make_int(i), value::make_text(u"abc")});
  reply r;
  s_->bulk_end(r.items);
  EXPECT_EQ(r.items.back().count, 1000);
  EXPECT_EQ(ok("select count(*) from s").rows(), "0\n");
  ok("insert bulk s ([id] INT, [n] NVARCHAR(3))");
  s_->bulk_row({value::make_int(1), value::make_null()});
  reply bad;
  s_->bulk_end(bad.items);
  EXPECT_EQ(bad.numbers(), std::vector<int>{515});
}

TEST(EnginePersistence, DatabasesTablesRowsAndIdentityOutliveTheEngine) {
  std::string dir = (std::filesystem::temp_directory_path() / "mssim-eng-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  {
    options o;
    o.data_dir = dir;
    engine e(o);
    std::vector<item> out;
    auto s = e.open_session(u"sa", u"", out);
    out.clear();
    s->execute(
        u"create database [Keep]] It] use [Keep]] It] create table t (id int identity "
        u"not null primary key, s nvarchar(10) null default (N'd')) insert into t (s) "
        u"values (N'x') insert into t default values",
        out);
    for (const auto& it : out) EXPECT_NE(it.what, item::error) << to_utf8(it.msg.text);
  }
  {
    options o;
    o.data_dir = dir;
    engine e(o);
    std::vector<item> out;
    auto s = e.open_session(u"sa", u"keep] it", out);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(to_utf8(s->database()), "Keep] It");
    out.clear();
    s->execute(u"insert into t (s) values (N'y') select id, s from t order by id", out);
    const result_set* rs = nullptr;
    for (const auto& it : out)
      if (it.what == item::rows) rs = &it.rs;
    ASSERT_NE(rs, nullptr);
    ASSERT_EQ(rs->rows.size(), 3u);
    EXPECT_EQ(rs->rows[1][1].s, u"d");
    EXPECT_EQ(rs->rows[2][0].i, 3);
    out.clear();
    s->execute(u"use master drop database [keep]] it]", out);
    for (const auto& it : out) EXPECT_NE(it.what, item::error) << to_utf8(it.msg.text);
  }
  // Only master's file stays behind.
  for (const auto& f : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(f.path().filename().string().rfind("db_master.sqlite", 0), 0u) << f.path();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

TEST_F(Engine, LoginDatabaseAndDropOfADatabaseInUse) {
  std::vector<item> out;
  EXPECT_EQ(eng_.open_session(u"sa", u"nosuchdb", out), nullptr);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].msg.number, 4060);
  EXPECT_EQ(to_utf8(out[0].msg.text),
            "Cannot open database \"nosuchdb\" requested by the login. The login failed.");
  ok("create database d1");
  auto other = open(u"D1");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(run("drop database d1").numbers(), std::vector<int>{3702});
  reply r = ok("use d1", other.get());
  other.reset();
  ok("drop database d1");
  EXPECT_EQ(run("drop database master").numbers(), std::vector<int>{3708});
}

}  // namespace
}  // namespace mssim
