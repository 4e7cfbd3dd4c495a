#include "format3/tree_population.h"

#include <vector>

#include "core/text_codec.h"

namespace korvel {
namespace {

constexpr std::u16string_view kKeywords[] = {u"TABLE", u"INDEX", u"VIEW", u"TRIGGER"};

template <typename List>
std::u16string StatementText(const List& list, size_t i) {
  if constexpr (std::is_same_v<typename List::value_type, std::string>) {
    return Utf8ToUtf16(list[i]);
  } else {
    return list[i];
  }
}

template <typename List>
void PopulateKind(EngineHost& host, const List& list, ObjectKind kind, TreeItem group,
                  bool useNameMap, InsertPosition position) {
  if (group == kNoItem) return;
  TreeOps& tree = host.Tree();
  auto& nameMap = host.Settings().nameMaps[static_cast<size_t>(kind)];
  for (size_t i = list.size(); i-- > 0;) {
    const std::optional<std::u16string> name = ObjectNameFromStatement(StatementText(list, i), kind);
    if (!name) continue;
    const int index = static_cast<int>(i);
    if (useNameMap) {
      auto found = nameMap.find(*name);
      if (found == nameMap.end()) {
        const TreeItem item = tree.InsertItem(*name, group, position);
        tree.SetItemData(item, index);
        nameMap[*name].push_back(index);
      } else {
        found->second.push_back(index);
      }
    } else {
      const TreeItem item = tree.InsertItem(*name, group, position);
      tree.SetItemData(item, index);
    }
  }
}

}  // namespace

std::optional<std::u16string> ObjectNameFromStatement(std::u16string_view statement,
                                                      ObjectKind kind) {
  const std::u16string upper = AsciiUpper(statement);
  const std::u16string_view keyword = kKeywords[static_cast<size_t>(kind)];
  const size_t at = upper.find(keyword);
  if (at == std::u16string::npos) return std::nullopt;
  const size_t start = at + keyword.size();
  size_t end = statement.size();
  switch (kind) {
    case ObjectKind::Table:
    case ObjectKind::Index: {
      const size_t open = statement.find(u'(', start);
      if (open != std::u16string_view::npos) end = open;
      break;
    }
    case ObjectKind::View:
      for (size_t j = start + 1; j + 2 < statement.size(); ++j) {
        if (IsBlank(statement[j]) && (statement[j + 1] == u'a' || statement[j + 1] == u'A') &&
            (statement[j + 2] == u's' || statement[j + 2] == u'S')) {
          end = j;
          break;
        }
      }
      break;
    case ObjectKind::Trigger: {
      size_t from = start;
      while (from < statement.size() && IsBlank(statement[from])) ++from;
      size_t to = from;
      while (to < statement.size() && !IsBlank(statement[to])) ++to;
      return std::u16string(statement.substr(from, to - from));
    }
  }
  return std::u16string(statement.substr(start, end - start));
}

void PopulateObjectTree(EngineHost& host, const RecoveredModel& model, TextPass pass) {
  ScanSettings& s = host.Settings();
  if (pass == TextPass::Utf8) {
    PopulateKind(host, model.tableStatements8, ObjectKind::Table, s.tablesGroup, true,
                 InsertPosition::First);
    PopulateKind(host, model.indexStatements8, ObjectKind::Index, s.indexesGroup, true,
                 InsertPosition::First);
    PopulateKind(host, model.viewStatements8, ObjectKind::View, s.viewsGroup, true,
                 InsertPosition::First);
    PopulateKind(host, model.triggerStatements8, ObjectKind::Trigger, s.triggersGroup, true,
                 InsertPosition::First);
  } else {
    PopulateKind(host, model.tableStatements16, ObjectKind::Table, s.tablesGroup, false,
                 InsertPosition::Last);
    PopulateKind(host, model.indexStatements16, ObjectKind::Index, s.indexesGroup, true,
                 InsertPosition::First);
    PopulateKind(host, model.viewStatements16, ObjectKind::View, s.viewsGroup, false,
                 InsertPosition::Last);
    PopulateKind(host, model.triggerStatements16, ObjectKind::Trigger, s.triggersGroup, false,
                 InsertPosition::Last);
  }
  TreeOps& tree = host.Tree();
  for (TreeItem group : {s.tablesGroup, s.triggersGroup, s.indexesGroup, s.viewsGroup}) {
    if (group != kNoItem) tree.Expand(group, ExpandAction::Expand);
  }
}

}  // namespace korvel
