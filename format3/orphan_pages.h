#pragma once
// Orphan table-leaf pages: pages whose records no table's walk reaches. Each
// page's records are read, and the page goes to the one recovered table
// whose column count and declared column types fit its records best; a page
// that fits no table, or two tables equally, stays unassigned and its
// records go to lost_and_found.
//
// The fit is also what decides which table a record carved from free space
// belongs to (deleted_records.h).

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <string_view>
#include <vector>

#include "core/recovered_model.h"
#include "format3/page_census.h"
#include "format3/record_reader.h"

namespace korvel::format3 {

// Column affinities by the rules of the format: a declared type holding
// "INT" is Integer; "CHAR", "CLOB" or "TEXT" Text; "BLOB" or no type Blob;
// "REAL", "FLOA" or "DOUB" Real; anything else Numeric.
enum class Affinity : uint8_t { Integer, Text, Blob, Real, Numeric };
Affinity AffinityOf(std::u16string_view declaredType);

// The declared types of the columns of a stored CREATE TABLE text (up to the
// parenthesis that closes its column list), in column order; table
// constraints are no columns.
std::vector<std::u16string> DeclaredColumnTypes(std::u16string_view statement);

// What a record of a table must look like.
struct TableShape {
  int tableIndex = -1;  // into the model's table lists
  int64_t rootPage = 0;
  int columnCount = 0;
  int keyColumn = -1;  // the INTEGER PRIMARY KEY column (stored as NULL), or -1
  std::vector<Affinity> affinities;
};

// One shape per recovered table (the first realTables entries of the
// model), one per root page. Tables whose root page is an index page
// (WITHOUT ROWID) keep no rows in table leaves and are left out.
std::vector<TableShape> TableShapes(const RecoveredModel& model, size_t realTables, bool utf16);

// How well a record with these serial types fits the table: -1 when it
// cannot be one of its rows (more values than columns, a value in the key
// column, a number in a TEXT column, an invalid serial type), else a score
// that grows with the values whose storage class the column's affinity
// expects, with a bonus when the record holds every column.
int FitScore(const TableShape& shape, const std::vector<uint64_t>& serialTypes);

// The index in shapes of the table that the records fit best, or -1 when
// none fits (more than a tenth of the records are no rows of it) or two fit
// equally well.
int BestFit(const std::vector<TableShape>& shapes,
            const std::vector<std::vector<uint64_t>>& records);

// The serial types of the record header at bytes[0 .. size); false when the
// header is not whole.
bool ReadSerialTypes(const uint8_t* bytes, size_t size, std::vector<uint64_t>& types,
                     uint64_t& headerSize);

// The records of table-leaf pages outside any table walk, each value
// followed onto its own overflow chain (a page is used once per record).
class LeafRecords final : public OverflowPageSource {
 public:
  LeafRecords(Reader& reader, const PageGeometry& g);
  // Decodes every cell of the leaf page with the layout, in cell order.
  void Read(uint64_t page, const PageHeader& h, const RecordLayout& layout,
            const std::function<void(size_t cell, CarvedRecord& record)>& each);
  const uint8_t* TakeOverflowPage(uint64_t page, size_t& available) override;

 private:
  Reader& reader_;
  PageGeometry g_;
  PageReader leaves_;
  PageReader overflow_;
  std::unordered_set<uint64_t> used_;
};

// One record of an orphan page.
struct OrphanRecord {
  uint32_t cell = 0;  // index in the page's cell pointer array
  uint64_t rowid = 0;
  std::vector<RecordValue> values;
};

struct OrphanPage {
  uint64_t page = 0;
  int shape = -1;  // index in the shapes, -1 unassigned
  std::vector<OrphanRecord> records;
};

struct OrphanInputs {
  Reader& reader;
  PageReader& pages;  // the leaf pages (overflow pages are read apart)
  const PageGeometry& g;
  const std::vector<PageHeader>& pageTable;
  const RecordLayout& layout;  // encoding, sizes; column count and key set per page
};

// Reads and assigns every orphan leaf. Records of an assigned page are
// decoded with the table's columns; those of an unassigned page with as
// many values as each record holds.
std::vector<OrphanPage> ReadOrphanPages(const OrphanInputs& in, const std::vector<uint64_t>& leaves,
                                        const std::vector<TableShape>& shapes);

}  // namespace korvel::format3
