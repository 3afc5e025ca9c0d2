#include "history/difference.h"

#include "history/param_names.h"
#include "lang/history_texts.h"

namespace velmora {

std::vector<DifferenceRow> differences(const Calibration& screen, const Calibration& other,
                                       std::uint8_t language) {
    std::vector<DifferenceRow> rows;
    for (Param p : reportOrder()) {
        if (sameSetting(p, screen, other)) continue;
        UserName n = userName(p, screen, language);
        rows.push_back({p, std::move(n.page), std::move(n.group), std::move(n.label),
                        displayText(p, screen, language), displayText(p, other, language)});
    }
    return rows;
}

int countDifferences(const Calibration& a, const Calibration& b) {
    int n = 0;
    for (std::size_t i = 0; i < ParamCount; ++i)
        n += sameSetting(static_cast<Param>(i), a, b) ? 0 : 1;
    return n;
}

std::string differencesAsText(const std::vector<DifferenceRow>& rows, std::uint8_t language) {
    using lang::HistoryText;
    const auto t = [language](HistoryText h) {
        return std::string(lang::historyText(h, language));
    };
    std::string out = t(HistoryText::ColumnPage) + '\t' + t(HistoryText::ColumnGroup) + '\t' +
                      t(HistoryText::ColumnName) + '\t' + t(HistoryText::ColumnScreen) + '\t' +
                      t(HistoryText::ColumnOther) + '\n';
    for (const DifferenceRow& r : rows)
        out += r.page + '\t' + r.group + '\t' + r.label + '\t' + r.screen + '\t' + r.other + '\n';
    return out;
}

Calibration withUnitBlock(const Calibration& screen, const Image& image, std::size_t block,
                          const std::array<std::uint8_t, BlockSize>& unitBlock) {
    Image unit = image;
    for (std::size_t i = 0; i < BlockSize; ++i) unit[block * BlockSize + i] = unitBlock[i];
    Calibration other = screen;
    Identification ignored;
    unpack(unit, other, ignored);
    // Switches travel as bits: a set one reads back as its bit, which is the same setting.
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const ParamInfo& info = paramInfo(static_cast<Param>(p));
        if (info.mask != 0 && (other.v[p] != 0) == (screen.v[p] != 0)) other.v[p] = screen.v[p];
    }
    return other;
}

} // namespace velmora
