#pragma once
// The records of one table on their way into the repaired database.
//
// The engine hands over one record at a time; they are gathered into
// batches that a writer thread of the table's own inserts into the database
// while the engine goes on reading the damaged file. The writer thread
// touches only the database: the lines to log ("Error: " + message for a
// record the database refused) and the records that did not go in travel
// back with their batch and are logged, and taken off the count of inserted
// rows, on the engine's thread, in the order the records came.
//
// One prepared INSERT per value count, values bound by type, inside
// transactions committed every kRecordsPerCommit records and at the end.
// Runs of records with the same value count go in together, through one
// INSERT of many rows: the library then does once per run what it would do
// once per record. Should such an INSERT fail, the library has undone it and
// its records are inserted one by one, so that every refused record is
// logged and counted as if each had gone alone.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/engine_host.h"
#include "core/record_value.h"
#include "output/repaired_connection.h"

namespace korvel::repaired {

// Records are handed to the writer thread in batches of at most
// kBatchRecords; no more than kRecordsInFlight handed-over records wait to
// be written at any time.
inline constexpr size_t kBatchRecords = 1024;
inline constexpr size_t kBatchesInFlight = 3;
inline constexpr size_t kRecordsInFlight = kBatchRecords * kBatchesInFlight;
// At most this many records go in through one INSERT.
inline constexpr size_t kRowsPerInsert = 128;

// False when a table's CREATE TABLE statement may carry an ON CONFLICT FAIL
// or ROLLBACK clause. A failed INSERT of many rows would keep the rows
// before the failing one (FAIL), so that inserting them again one by one
// would copy them, or would take the open transaction with it (ROLLBACK)
// and change which records are reported lost.
bool RowsMayGoTogether(std::u16string_view createStatement);
bool RowsMayGoTogether(std::string_view createStatement);

class TableRecordWriter final : public RecordInsertTarget {
 public:
  // With together false every record goes in through an INSERT of its own.
  TableRecordWriter(EngineHost& host, RepairedConnection& connection, bool together = true);
  ~TableRecordWriter() override;
  TableRecordWriter(const TableRecordWriter&) = delete;
  TableRecordWriter& operator=(const TableRecordWriter&) = delete;

  void ExecuteRecordInsert(const std::u16string& tableName,
                           const std::vector<RecordValue>& values) override;

  // Writes every record handed over, commits the open transaction and logs
  // what is left to log. The writer takes no records afterwards.
  void Finish();

 private:
  struct Batch {
    std::u16string tableName;
    std::vector<std::vector<RecordValue>> records;  // slots, reused from batch to batch
    size_t count = 0;
    size_t bytes = 0;
    std::vector<std::u16string> lines;  // to log, in order
    uint64_t lost = 0;                  // handed-over records that are not in the database
  };

  // Engine thread.
  void Send();
  Batch* TakeFreeBatch();
  void Report(Batch& batch);

  // Writer thread.
  void Run();
  void Write(Batch& batch);
  size_t RowsTogetherAt(const Batch& batch, size_t first);
  bool InsertTogether(Batch& batch, size_t first, size_t rows);
  void Insert(const std::u16string& tableName, const std::vector<RecordValue>& values, Batch& out);
  struct Prepared {
    sqlite3_stmt* stmt = nullptr;
    std::u16string failure;  // the line logged for each record when stmt is null
  };
  Prepared& StatementFor(const std::u16string& tableName, size_t valueCount);
  sqlite3_stmt* StatementTogetherFor(const std::u16string& tableName, size_t valueCount,
                                     size_t rows);
  void UseTable(const std::u16string& tableName);
  Prepared Compile(const std::u16string& tableName, size_t valueCount, size_t rows);
  void Bind(sqlite3_stmt* stmt, const std::vector<RecordValue>& values, size_t firstParam);
  void NoticeRolledBackBatch(Batch& out);
  void LoseTransaction(const std::u16string& why, Batch& out);
  void Begin(Batch& out);
  void Commit(Batch& out);
  void FinalizeStatements();

  EngineHost& host_;
  RepairedConnection& connection_;
  const bool together_;
  bool finished_ = false;

  // Shared between the two threads, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch*> toWrite_;
  std::deque<Batch*> written_;
  bool closing_ = false;

  std::vector<std::unique_ptr<Batch>> batches_;
  std::vector<Batch*> free_;
  Batch* filling_ = nullptr;
  std::thread thread_;

  // Writer thread only (and the engine thread once the thread has ended).
  std::u16string statementsTable_;
  std::map<size_t, Prepared> statements_;
  std::map<size_t, sqlite3_stmt*> togetherStatements_;  // by value count; null when refused
  Prepared* last_ = nullptr;                            // the statement of the last record
  size_t lastValueCount_ = 0;
  std::vector<std::string> text8_;
  bool inTransaction_ = false;
  uint64_t transactionSucceeded_ = 0;  // records of the open transaction that went in
  uint64_t transactionRecords_ = 0;    // records of the open transaction, failed ones included
};

}  // namespace korvel::repaired
