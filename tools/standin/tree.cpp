#include "tools/standin/tree.h"

#include "common/integer_text.h"
#include "common/split_fields.h"

namespace {

// Names in code page 932, spelled byte by byte so that no source encoding can
// change them.
const char* const TerrestrialSpace = "\x92\x6E\x8F\xE3\x83\x66\x83\x57\x83\x5E\x83\x8B"; // 地上デジタル
const char* const NhkSogo1 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x50\x81\x45\x93\x8C\x8B\x9E"; // ＮＨＫ総合１・東京
const char* const NhkSogo2 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x51\x81\x45\x93\x8C\x8B\x9E"; // ＮＨＫ総合２・東京
const char* const NhkEtele1 = "\x82\x6D\x82\x67\x82\x6A\x82\x64\x83\x65\x83\x8C\x82\x50\x93\x8C\x8B\x9E"; // ＮＨＫＥテレ１東京
const char* const NhkEtele3 = "\x82\x6D\x82\x67\x82\x6A\x82\x64\x83\x65\x83\x8C\x82\x52\x93\x8C\x8B\x9E"; // ＮＨＫＥテレ３東京
const char* const NtvNo1 = "\x93\xFA\x83\x65\x83\x8C\x82\x50"; // 日テレ１
const char* const SpareChannel = "\x97\x5C\x94\xF5\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B"; // 予備チャンネル
const char* const BsAsahi1 = "\x82\x61\x82\x72\x92\xA9\x93\xFA\x82\x50"; // ＢＳ朝日１
const char* const BsNtv = "\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C"; // ＢＳ日テレ
const char* const NhkBs = "\x82\x6D\x82\x67\x82\x6A\x81\x40\x82\x61\x82\x72"; // ＮＨＫ　ＢＳ
const char* const ShopChannel = "\x83\x56\x83\x87\x83\x62\x83\x76\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B"; // ショップチャンネル

TreeEntry Leaf(const char* name, std::uint32_t number)
{
    return TreeEntry{name, number, {}};
}

TreeEntry Node(const char* name, std::uint32_t number, std::vector<TreeEntry> children)
{
    return TreeEntry{name, number, std::move(children)};
}

} // namespace

Tree DefaultTree()
{
    return {
        Node("BonDriver_PT3-T.dll", 0, {
            Node(TerrestrialSpace, 0, {
                Node("27ch", 3, {Leaf(NhkSogo1, 1024), Leaf(NhkSogo2, 1025)}),
                Node("26ch", 5, {Leaf(NhkEtele1, 1032), Leaf(NhkEtele3, 1034)}),
                Node("25ch", 8, {Leaf(NtvNo1, 1040)}),
                Node(SpareChannel, 12, {}),
            }),
        }),
        Node("BonDriver_PT3-S.dll", 2, {
            Node("BS", 1, {
                Node("BS01/TS0", 0, {Leaf(BsAsahi1, 151)}),
                Node("BS13/TS0", 5, {Leaf(BsNtv, 141)}),
                Node("BS15/TS0", 6, {Leaf(NhkBs, 101)}),
            }),
            Node("CS110", 4, {
                Node("ND02", 1, {Leaf(ShopChannel, 55)}),
            }),
        }),
    };
}

std::optional<Tree> ParseTree(std::string_view text, std::string& error)
{
    static const char* const Keywords[] = {"bon", "space", "ch", "service"};
    Tree tree;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::vector<std::string> fields = SplitFields(line, '\t', '\0');
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (fields.size() != 3) {
            error = where + "expected KEYWORD<TAB>NAME<TAB>NUMBER";
            return std::nullopt;
        }
        int level = -1;
        for (int i = 0; i < 4; ++i) {
            if (fields[0] == Keywords[i])
                level = i;
        }
        if (level < 0) {
            error = where + "unknown keyword \"" + fields[0] + "\" (bon, space, ch or service)";
            return std::nullopt;
        }
        const auto number = ReadIntegerText(fields[2]);
        if (!number) {
            error = where + "\"" + fields[2] + "\" is not a number";
            return std::nullopt;
        }
        std::vector<TreeEntry>* list = &tree;
        for (int i = 0; i < level; ++i) {
            if (list->empty()) {
                error = where + "a " + Keywords[level] + " needs a " + Keywords[i] + " before it";
                return std::nullopt;
            }
            list = &list->back().children;
        }
        list->push_back(TreeEntry{fields[1], static_cast<std::uint32_t>(*number), {}});
    }
    return tree;
}
