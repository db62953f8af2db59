#include "common/split_fields.h"

std::vector<std::string> SplitFields(std::string_view text, char delimiter, char escape)
{
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == escape) {
            field += c;
            if (i + 1 < text.size())
                field += text[++i];
        } else if (c == delimiter) {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty())
        fields.push_back(std::move(field));
    return fields;
}
