#pragma once
// The tuner tree the stand-in serves: BonDrivers, their spaces, the spaces'
// channels and the channels' services, each entry a name (code page 932
// bytes) and the number its Set command takes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TreeEntry {
    std::string name;
    std::uint32_t number = 0;
    std::vector<TreeEntry> children;
};

// The BonDrivers; an empty tree has none.
using Tree = std::vector<TreeEntry>;

// Two BonDrivers (terrestrial; BS/CS) with Japanese names, numbers that are
// not positions, and one channel without services.
Tree DefaultTree();

// Reads the tree file format (described with the --help text):
//   bon<TAB>NAME<TAB>NUMBER
//   space<TAB>NAME<TAB>NUMBER
//   ch<TAB>NAME<TAB>NUMBER
//   service<TAB>NAME<TAB>NUMBER
// Each line adds an entry to the entry last added one level up. Empty lines
// and lines starting with '#' are skipped, a CR before the LF is dropped,
// NAME is taken byte for byte. On a malformed line, nothing, with the reason
// in error.
std::optional<Tree> ParseTree(std::string_view text, std::string& error);
