#include "output/table_record_writer.h"

#include <algorithm>
#include <new>

#include "core/text_codec.h"
#include "output/repaired_writer.h"

namespace korvel::repaired {

namespace {

// A batch goes to the writer thread when it holds kBatchRecords records or
// this many bytes; with kBatchesInFlight batches at most, the engine never
// runs far ahead of the database and memory stays flat whatever the table's
// size.
constexpr size_t kBatchBytes = size_t{4} << 20;
// A value slot that held more than this gives its storage back once it is
// written, so that a few large values do not stay in every slot.
constexpr size_t kKeptValueCapacity = size_t{64} << 10;

size_t BytesOf(const std::vector<RecordValue>& values) {
  size_t bytes = sizeof(RecordValue) * values.size();
  for (const RecordValue& v : values) bytes += v.text.size() + v.blob.size();
  return bytes;
}

// True when text holds word in any case (word in lower case).
template <typename Char>
bool Mentions(std::basic_string_view<Char> text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < word.size() && (text[i + k] | 0x20) == word[k]) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

template <typename Char>
bool MayAskToFailOrRollBack(std::basic_string_view<Char> text) {
  return Mentions(text, "fail") || Mentions(text, "rollback");
}

}  // namespace

bool RowsMayGoTogether(std::u16string_view createStatement) {
  return !MayAskToFailOrRollBack(createStatement);
}

bool RowsMayGoTogether(std::string_view createStatement) {
  return !MayAskToFailOrRollBack(createStatement);
}

TableRecordWriter::TableRecordWriter(EngineHost& host, RepairedConnection& connection,
                                     bool together)
    : host_(host), connection_(connection), together_(together) {}

TableRecordWriter::~TableRecordWriter() { Finish(); }

// ---- engine thread ----

void TableRecordWriter::ExecuteRecordInsert(const std::u16string& tableName,
                                            const std::vector<RecordValue>& values) {
  if (finished_) return;
  if (filling_ != nullptr && filling_->count > 0 && filling_->tableName != tableName) Send();
  if (filling_ == nullptr) filling_ = TakeFreeBatch();
  Batch& batch = *filling_;
  if (batch.count == 0) batch.tableName = tableName;
  if (batch.records.size() <= batch.count) batch.records.emplace_back();
  batch.records[batch.count] = values;  // the slot's storage is reused
  ++batch.count;
  batch.bytes += BytesOf(values);
  if (batch.count >= kBatchRecords || batch.bytes >= kBatchBytes) Send();
}

void TableRecordWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (filling_ != nullptr && filling_->count > 0) Send();
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  // The writer thread has ended: what follows runs on this thread alone.
  while (!written_.empty()) {
    Batch* batch = written_.front();
    written_.pop_front();
    Report(*batch);
  }
  Batch tail;
  if (inTransaction_) Commit(tail);
  Report(tail);
  FinalizeStatements();
}

void TableRecordWriter::Send() {
  Batch* batch = filling_;
  filling_ = nullptr;
  if (batch == nullptr) return;
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  std::deque<Batch*> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    toWrite_.push_back(batch);
    done.swap(written_);
  }
  changed_.notify_all();
  for (Batch* b : done) {
    Report(*b);
    free_.push_back(b);
  }
}

TableRecordWriter::Batch* TableRecordWriter::TakeFreeBatch() {
  if (!free_.empty()) {
    Batch* batch = free_.back();
    free_.pop_back();
    return batch;
  }
  if (batches_.size() < kBatchesInFlight) {
    batches_.push_back(std::make_unique<Batch>());
    return batches_.back().get();
  }
  Batch* batch = nullptr;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !written_.empty(); });
    batch = written_.front();
    written_.pop_front();
  }
  Report(*batch);
  return batch;
}

void TableRecordWriter::Report(Batch& batch) {
  for (const std::u16string& line : batch.lines) host_.WriteOutputLine(line);
  uint64_t& rows = host_.Settings().rowsInserted;
  rows -= std::min(rows, batch.lost);
  batch.lines.clear();
  batch.lost = 0;
  batch.count = 0;
  batch.bytes = 0;
}

// ---- writer thread ----

void TableRecordWriter::Run() {
  for (;;) {
    Batch* batch = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !toWrite_.empty() || closing_; });
      if (toWrite_.empty()) return;
      batch = toWrite_.front();
      toWrite_.pop_front();
    }
    Write(*batch);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      written_.push_back(batch);
    }
    changed_.notify_all();
  }
}

void TableRecordWriter::Write(Batch& batch) {
  size_t next = 0;  // the first record not yet attempted
  try {
    while (next < batch.count) {
      const size_t first = next;
      const size_t rows = RowsTogetherAt(batch, first);
      if (rows >= 2 && InsertTogether(batch, first, rows)) {
        next = first + rows;
      } else {
        const size_t end = first + std::max<size_t>(rows, 1);
        while (next < end) {
          Insert(batch.tableName, batch.records[next], batch);
          ++next;
        }
      }
      for (size_t k = first; k < next; ++k) {
        for (RecordValue& v : batch.records[k]) {
          if (v.text.capacity() > kKeptValueCapacity) std::string().swap(v.text);
          if (v.blob.capacity() > kKeptValueCapacity) std::string().swap(v.blob);
        }
      }
    }
  } catch (const std::bad_alloc&) {
    batch.lines.push_back(u"Error: out of memory");
    batch.lost += batch.count - next;
  }
}

// How many records from first on go in through one INSERT: a run of
// records with the same value count that fills a whole statement and stays
// inside the open transaction's share of records; else 1.
size_t TableRecordWriter::RowsTogetherAt(const Batch& batch, size_t first) {
  if (!together_) return 1;
  const size_t valueCount = batch.records[first].size();
  if (valueCount == 0) return 1;
  const auto limit = static_cast<size_t>(
      std::max(sqlite3_limit(connection_.db(), SQLITE_LIMIT_VARIABLE_NUMBER, -1), 0));
  const size_t rows = std::min(kRowsPerInsert, limit / valueCount);
  if (rows < 2 || first + rows > batch.count) return 1;
  if (inTransaction_ && transactionRecords_ + rows > kRecordsPerCommit) return 1;
  for (size_t k = first + 1; k < first + rows; ++k) {
    if (batch.records[k].size() != valueCount) return 1;
  }
  return rows;
}

// False, with nothing inserted, when the records must go in one by one.
bool TableRecordWriter::InsertTogether(Batch& batch, size_t first, size_t rows) {
  const size_t valueCount = batch.records[first].size();
  sqlite3_stmt* stmt = StatementTogetherFor(batch.tableName, valueCount, rows);
  if (stmt == nullptr) return false;
  if (!inTransaction_) Begin(batch);
  if (!inTransaction_) return false;  // each record then logs the failure itself
  for (size_t k = 0; k < rows; ++k) Bind(stmt, batch.records[first + k], k * valueCount + 1);
  connection_.guard().Arm(StatementKind::Insert);  // for an automatic recompile
  const int rc = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  connection_.guard().checking = false;
  if (rc != SQLITE_DONE) {
    // The library has undone the whole INSERT (or, for a failure such as a
    // full disk, the whole transaction).
    NoticeRolledBackBatch(batch);
    return false;
  }
  transactionSucceeded_ += rows;
  transactionRecords_ += rows;
  if (transactionRecords_ >= kRecordsPerCommit) Commit(batch);
  return true;
}

void TableRecordWriter::Insert(const std::u16string& tableName,
                               const std::vector<RecordValue>& values, Batch& out) {
  Prepared& prepared = StatementFor(tableName, values.size());
  if (prepared.stmt == nullptr) {
    out.lines.push_back(prepared.failure);
    ++out.lost;
    return;
  }
  if (!inTransaction_) Begin(out);
  sqlite3_stmt* stmt = prepared.stmt;
  Bind(stmt, values, 1);
  connection_.guard().Arm(StatementKind::Insert);  // for an automatic recompile
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) {
    ++transactionSucceeded_;
  } else {
    const std::u16string message = LibraryMessage(connection_.db());
    sqlite3_reset(stmt);
    out.lines.push_back(message);
    ++out.lost;
    NoticeRolledBackBatch(out);
  }
  sqlite3_reset(stmt);  // every parameter is bound again for the next record
  connection_.guard().checking = false;
  if (inTransaction_ && ++transactionRecords_ >= kRecordsPerCommit) Commit(out);
}

TableRecordWriter::Prepared& TableRecordWriter::StatementFor(const std::u16string& tableName,
                                                             size_t valueCount) {
  // Nearly every record has the value count of the one before.
  if (last_ != nullptr && lastValueCount_ == valueCount && tableName == statementsTable_) {
    return *last_;
  }
  UseTable(tableName);
  lastValueCount_ = valueCount;
  auto found = statements_.find(valueCount);
  if (found != statements_.end()) return *(last_ = &found->second);
  last_ = &statements_.emplace(valueCount, Compile(tableName, valueCount, 1)).first->second;
  return *last_;
}

sqlite3_stmt* TableRecordWriter::StatementTogetherFor(const std::u16string& tableName,
                                                      size_t valueCount, size_t rows) {
  UseTable(tableName);
  auto found = togetherStatements_.find(valueCount);
  if (found != togetherStatements_.end()) return found->second;
  // A statement the library refuses leaves its records to the INSERT of one
  // row, which logs the refusal for each of them.
  return togetherStatements_.emplace(valueCount, Compile(tableName, valueCount, rows).stmt)
      .first->second;
}

void TableRecordWriter::UseTable(const std::u16string& tableName) {
  if (tableName == statementsTable_) return;
  FinalizeStatements();
  statementsTable_ = tableName;
}

TableRecordWriter::Prepared TableRecordWriter::Compile(const std::u16string& tableName,
                                                       size_t valueCount, size_t rows) {
  std::u16string row = u"(";
  for (size_t i = 0; i < valueCount; ++i) row += i == 0 ? u"?" : u",?";
  row += u")";
  std::u16string sql = u"insert into " + tableName + u" values" + row;
  for (size_t r = 1; r < rows; ++r) sql += u"," + row;
  Prepared prepared;
  bool refused = false;
  const std::string sql8 = connection_.utf16() ? std::string() : Utf16ToUtf8(sql);
  prepared.stmt = connection_.Prepare(StatementKind::Insert, sql8, sql, prepared.failure, refused);
  connection_.guard().checking = false;
  if (prepared.stmt != nullptr &&
      static_cast<size_t>(sqlite3_bind_parameter_count(prepared.stmt)) != valueCount * rows) {
    // The table name itself brought parameters or took some away.
    sqlite3_finalize(prepared.stmt);
    prepared.stmt = nullptr;
    prepared.failure = RefusalLine(StatementKind::Insert, u"the table name changes its values");
  }
  return prepared;
}

void TableRecordWriter::Bind(sqlite3_stmt* stmt, const std::vector<RecordValue>& values,
                             size_t firstParam) {
  // A UTF-8 text converted for a UTF-16 database lives in the scratch
  // string of its parameter until the statement has run.
  if (text8_.size() < firstParam - 1 + values.size()) text8_.resize(firstParam - 1 + values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    const int param = static_cast<int>(firstParam + i);
    const RecordValue& value = values[i];
    switch (value.kind) {
      case RecordValue::Kind::Null:
        sqlite3_bind_null(stmt, param);
        break;
      case RecordValue::Kind::Integer:
        sqlite3_bind_int64(stmt, param, value.integer);
        break;
      case RecordValue::Kind::Real:
        sqlite3_bind_double(stmt, param, value.real);
        break;
      case RecordValue::Kind::Text:
        if (value.form != TextForm::Utf8) {
          // UTF-16 bytes go in as they are; the library converts them when
          // the database's own encoding differs.
          sqlite3_bind_text64(stmt, param, value.text.data(), value.text.size(), SQLITE_STATIC,
                              value.form == TextForm::Utf16be ? SQLITE_UTF16BE : SQLITE_UTF16LE);
        } else if (!connection_.utf16()) {
          // A UTF-8 database gets the damaged file's bytes exactly as they
          // were, also those that are no valid UTF-8.
          sqlite3_bind_text64(stmt, param, value.text.data(), value.text.size(), SQLITE_STATIC,
                              SQLITE_UTF8);
        } else {
          const std::string_view utf8 = TextAsUtf8(value, text8_[firstParam - 1 + i]);
          sqlite3_bind_text64(stmt, param, utf8.data(), utf8.size(), SQLITE_STATIC, SQLITE_UTF8);
        }
        break;
      case RecordValue::Kind::Blob:
        if (value.blob.empty()) {
          sqlite3_bind_zeroblob(stmt, param, 0);  // an empty blob, not NULL
        } else {
          sqlite3_bind_blob64(stmt, param, value.blob.data(), value.blob.size(), SQLITE_STATIC);
        }
        break;
    }
  }
}

// Some failures (a full disk, an I/O error) roll the whole transaction back:
// the records of the open transaction are then gone and no longer count.
void TableRecordWriter::NoticeRolledBackBatch(Batch& out) {
  if (!inTransaction_ || sqlite3_get_autocommit(connection_.db()) == 0) return;
  inTransaction_ = false;
  LoseTransaction(u"the transaction was rolled back", out);
}

void TableRecordWriter::LoseTransaction(const std::u16string& why, Batch& out) {
  if (transactionSucceeded_ > 0) {
    out.lines.push_back(u"Error: " +
                        U16Number(static_cast<unsigned long long>(transactionSucceeded_)) +
                        u" records were not saved: " + why);
    out.lost += transactionSucceeded_;
  }
  transactionSucceeded_ = 0;
  transactionRecords_ = 0;
}

void TableRecordWriter::Begin(Batch& out) {
  std::u16string error;
  inTransaction_ = connection_.RunOwn("BEGIN", &error);
  if (!inTransaction_) out.lines.push_back(u"Error: " + error);
  transactionSucceeded_ = 0;
  transactionRecords_ = 0;
}

void TableRecordWriter::Commit(Batch& out) {
  std::u16string error;
  inTransaction_ = false;
  if (connection_.RunOwn("COMMIT", &error)) {
    transactionSucceeded_ = 0;
    transactionRecords_ = 0;
    return;
  }
  out.lines.push_back(u"Error: " + error);
  if (sqlite3_get_autocommit(connection_.db()) == 0) connection_.RunOwn("ROLLBACK");
  LoseTransaction(u"the commit failed", out);
}

void TableRecordWriter::FinalizeStatements() {
  for (auto& [count, prepared] : statements_) sqlite3_finalize(prepared.stmt);
  statements_.clear();
  for (auto& [count, stmt] : togetherStatements_) sqlite3_finalize(stmt);
  togetherStatements_.clear();
  last_ = nullptr;
}

}  // namespace korvel::repaired
