#include "core/recovered_model.h"

namespace korvel {

TableDescriptorParts ParseTableDescriptor(const std::u16string& descriptor) {
  TableDescriptorParts parts;
  const size_t plus = descriptor.find(u'+');
  if (plus == std::u16string::npos) {
    parts.tableName = descriptor;
    return parts;
  }
  parts.tableName = descriptor.substr(0, plus);
  // The root page follows the last "#": column names may themselves hold "#".
  const size_t hash = descriptor.rfind(u'#');
  const size_t columnsEnd = (hash == std::u16string::npos || hash < plus) ? descriptor.size() : hash;
  size_t pos = plus + 1;
  while (pos < columnsEnd) {
    size_t tilde = descriptor.find(u'~', pos);
    if (tilde == std::u16string::npos || tilde > columnsEnd) tilde = columnsEnd;
    std::u16string name = descriptor.substr(pos, tilde - pos);
    if (!name.empty() && name.back() == u'>') {
      parts.keyColumnMarker = 10 + static_cast<int>(parts.columnNames.size());
    }
    parts.columnNames.push_back(std::move(name));
    pos = tilde + 1;
  }
  if (hash != std::u16string::npos && hash > plus) {
    int64_t value = 0;
    size_t i = hash + 1;
    for (; i < descriptor.size(); ++i) {
      const char16_t c = descriptor[i];
      if (c < u'0' || c > u'9') break;
      if (value > (INT64_MAX - 9) / 10) break;
      value = value * 10 + (c - u'0');
    }
    parts.rootPage = value;
    while (i < descriptor.size() && descriptor[i] >= u'0' && descriptor[i] <= u'9') ++i;
    parts.withoutRowid = descriptor.compare(i, std::u16string_view(kWithoutRowidMark).size(),
                                            kWithoutRowidMark) == 0;
  }
  return parts;
}

}  // namespace korvel
