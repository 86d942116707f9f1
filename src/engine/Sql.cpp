#include "engine/Sql.h"

namespace engine {
namespace {

std::string Enclose(std::string_view s, char quote) {
    std::string out;
    out.reserve(s.size() + 2);
    out += quote;
    for (const char c : s) {
        out += c;
        if (c == quote) {
            out += quote;
        }
    }
    out += quote;
    return out;
}

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
    return Enclose(name, '"');
}
std::string QuoteLiteral(std::string_view text) {
    return Enclose(text, '\'');
}

std::string TranslateSql(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 8);
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'') {  // an SQL literal already: copy it whole
            std::size_t end = i + 1;
            while (end < sql.size()) {
                if (sql[end] == '\'' && end + 1 < sql.size() && sql[end + 1] == '\'') {
                    end += 2;
                } else if (sql[end] == '\'') {
                    break;
                } else {
                    ++end;
                }
            }
            end = end < sql.size() ? end + 1 : end;
            out.append(sql.substr(i, end - i));
            i = end;
        } else if (c == '"') {  // a text constant
            std::string value;
            std::size_t j = i + 1;
            while (j < sql.size()) {
                if (sql[j] == '"' && j + 1 < sql.size() && sql[j + 1] == '"') {
                    value += '"';
                    j += 2;
                } else if (sql[j] == '"') {
                    break;
                } else {
                    value += sql[j++];
                }
            }
            out += QuoteLiteral(value);
            i = j < sql.size() ? j + 1 : j;
        } else if (c == '[') {  // a bracketed name
            const std::size_t close = sql.find(']', i + 1);
            const std::size_t end = close == std::string_view::npos ? sql.size() : close;
            out += QuoteIdentifier(sql.substr(i + 1, end - i - 1));
            i = close == std::string_view::npos ? sql.size() : close + 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

}  // namespace engine

namespace engine {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return out;
}

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string ExpandFieldRule(const std::string& column, std::string_view rule) {
    std::string out;
    bool expectOperand = true;  // at the start, and after a top-level AND / OR
    int depth = 0;
    std::size_t i = 0;
    while (i < rule.size()) {
        const char c = rule[i];
        if (c == ' ' || c == '\t') {
            out += c;
            ++i;
            continue;
        }
        if (expectOperand && depth == 0) {
            const std::size_t wordEnd = [&] {
                std::size_t e = i;
                while (e < rule.size() && IsWordChar(rule[e])) {
                    ++e;
                }
                return e;
            }();
            const std::string word = Upper(rule.substr(i, wordEnd - i));
            const bool comparison = c == '<' || c == '>' || c == '=' || c == '!';
            if (comparison || word == "BETWEEN" || word == "IN" || word == "LIKE" || word == "IS" ||
                word == "NOT") {
                // "Not" alone negates an expression; "Not In/Like/Between" compares the field.
                bool compare = word != "NOT";
                if (word == "NOT") {
                    std::size_t n = wordEnd;
                    while (n < rule.size() && rule[n] == ' ') {
                        ++n;
                    }
                    std::size_t e = n;
                    while (e < rule.size() && IsWordChar(rule[e])) {
                        ++e;
                    }
                    const std::string next = Upper(rule.substr(n, e - n));
                    compare = next == "IN" || next == "LIKE" || next == "BETWEEN";
                }
                if (compare) {
                    out += column + " ";
                }
            }
            expectOperand = false;
        }
        if (c == '\'' || c == '"') {  // copy a quoted text whole
            std::size_t end = i + 1;
            while (end < rule.size() && !(rule[end] == c && (end + 1 >= rule.size() || rule[end + 1] != c))) {
                end += rule[end] == c ? 2 : 1;
            }
            end = end < rule.size() ? end + 1 : end;
            out.append(rule.substr(i, end - i));
            i = end;
            continue;
        }
        if (IsWordChar(c)) {
            std::size_t e = i;
            while (e < rule.size() && IsWordChar(rule[e])) {
                ++e;
            }
            const std::string word = Upper(rule.substr(i, e - i));
            out.append(rule.substr(i, e - i));
            i = e;
            if (depth == 0 && (word == "AND" || word == "OR")) {
                expectOperand = true;
            }
            continue;
        }
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        out += c;
        ++i;
    }
    return out;
}

}  // namespace engine
