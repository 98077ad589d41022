#include "cdrom/fault_plan.h"

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>

namespace qpx::cdrom {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Splits off the first word of `rest`.
std::string_view next_word(std::string_view& rest) {
    rest = trim(rest);
    const auto end = rest.find_first_of(" \t");
    std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return word;
}

template <typename T>
bool parse_number(std::string_view word, T& out) {
    if (word.empty()) return false;
    auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
    return ec == std::errc() && ptr == word.data() + word.size();
}

std::filesystem::path resolve(std::string_view path, const std::filesystem::path& base_dir) {
    std::filesystem::path p{std::string(path)};
    return p.is_absolute() ? p : base_dir / p;
}

// Parses one directive; an empty result means it was understood.
std::string parse_directive(std::string_view keyword, std::string_view rest, const std::filesystem::path& base,
                            FaultPlan& plan) {
    if (keyword == "disc") {
        rest = trim(rest);
        if (rest.empty()) return "disc needs an image path";
        plan.disc = resolve(rest, base);
        return {};
    }
    if (keyword == "journal") {
        rest = trim(rest);
        if (rest.empty()) return "journal needs a file path";
        plan.journal = resolve(rest, base);
        return {};
    }
    if (keyword == "unreadable") {
        SectorRange range;
        if (!parse_number(next_word(rest), range.first)) return "unreadable needs a first sector";
        std::string_view last = next_word(rest);
        range.last = range.first;
        if (!last.empty() && !parse_number(last, range.last)) return "unreadable: the last sector is not a number";
        if (range.last < range.first) return "unreadable: the last sector comes before the first";
        if (!trim(rest).empty()) return "unreadable: unexpected text after the range";
        plan.unreadable.push_back(range);
        return {};
    }
    if (keyword == "fails") {
        FlakySector flaky;
        if (!parse_number(next_word(rest), flaky.sector)) return "fails needs a sector";
        if (!parse_number(next_word(rest), flaky.failures) || flaky.failures < 0)
            return "fails needs a number of failures";
        if (!trim(rest).empty()) return "fails: unexpected text after the count";
        plan.flaky.push_back(flaky);
        return {};
    }
    if (keyword == "not-ready") {
        if (!parse_number(next_word(rest), plan.not_ready_accesses) || plan.not_ready_accesses < 0)
            return "not-ready needs a number of accesses";
        if (!trim(rest).empty()) return "not-ready: unexpected text after the count";
        return {};
    }
    if (keyword == "swap-after") {
        DiscSwap swap;
        if (!parse_number(next_word(rest), swap.after_accesses) || swap.after_accesses < 0)
            return "swap-after needs a number of accesses";
        rest = trim(rest);
        if (rest.empty()) return "swap-after needs an image path";
        swap.disc = resolve(rest, base);
        plan.swap = swap;
        return {};
    }
    return "unknown directive '" + std::string(keyword) + "'";
}

}  // namespace

bool parse_fault_plan(std::string_view text, const std::filesystem::path& base_dir, FaultPlan& out,
                      std::string& error) {
    out = FaultPlan{};
    int line_number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        std::string_view rest = line;
        const std::string_view keyword = next_word(rest);
        if (keyword.empty()) continue;
        if (std::string why = parse_directive(keyword, rest, base_dir, out); !why.empty()) {
            error = "line " + std::to_string(line_number) + ": " + why;
            return false;
        }
    }
    if (out.disc.empty()) {
        error = "the plan names no disc";
        return false;
    }
    return true;
}

bool load_fault_plan(const std::filesystem::path& file, FaultPlan& out, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file.string() + ": cannot read the fault plan";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!parse_fault_plan(text.str(), file.parent_path(), out, error)) {
        error = file.string() + ": " + error;
        return false;
    }
    return true;
}

bool is_fault_plan_path(const std::filesystem::path& path) { return path.extension() == kFaultPlanExtension; }

}  // namespace qpx::cdrom
