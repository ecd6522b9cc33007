#include "sim/ScpiPath.h"

#include <cctype>

namespace Sim {
namespace {

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> nodes;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = s.find(':', start);
        nodes.push_back(s.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) return nodes;
        start = colon + 1;
    }
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// One node against one form node ("CHANnel#", "HEADer?").
bool MatchNode(std::string node, std::string form, std::vector<int>& suffixes) {
    const bool fQueryForm = !form.empty() && form.back() == '?';
    const bool fQueryNode = !node.empty() && node.back() == '?';
    if (fQueryForm != fQueryNode) return false;
    if (fQueryForm) form.pop_back(), node.pop_back();
    const bool fSuffix = !form.empty() && form.back() == '#';
    if (fSuffix) form.pop_back();
    int iSuffix = -1;
    if (fSuffix) {
        std::size_t i = node.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(node[i - 1]))) --i;
        if (i == node.size() || node.size() - i > 4) return false;
        iSuffix = std::stoi(node.substr(i));
        node.resize(i);
    }
    std::string sShort;
    for (char c : form) {
        if (!std::islower(static_cast<unsigned char>(c))) sShort += c;
    }
    if (node != sShort && node != Upper(form)) return false;
    if (fSuffix) suffixes.push_back(iSuffix);
    return true;
}

bool MatchFrom(const std::vector<std::string>& path, std::size_t p, const std::vector<std::string>& form, std::size_t f,
               std::vector<int>& suffixes) {
    if (f == form.size()) return p == path.size();
    const std::string& node = form[f];
    if (node.size() > 2 && node.front() == '[' && node.back() == ']') {
        const std::size_t iKeep = suffixes.size();
        if (p < path.size() && MatchNode(path[p], node.substr(1, node.size() - 2), suffixes) &&
            MatchFrom(path, p + 1, form, f + 1, suffixes)) {
            return true;
        }
        suffixes.resize(iKeep);
        return MatchFrom(path, p, form, f + 1, suffixes);
    }
    if (p == path.size()) return false;
    const std::size_t iKeep = suffixes.size();
    if (MatchNode(path[p], node, suffixes) && MatchFrom(path, p + 1, form, f + 1, suffixes)) return true;
    suffixes.resize(iKeep);
    return false;
}

} // namespace

bool MatchPath(const std::string& sPath, const std::string& sForm, std::vector<int>& suffixes) {
    suffixes.clear();
    // A query mark in the form belongs to its last node; "[...]" nodes must not swallow it.
    return MatchFrom(Split(sPath), 0, Split(sForm), 0, suffixes);
}

bool MatchPath(const std::string& sPath, const std::string& sForm) {
    std::vector<int> suffixes;
    return MatchPath(sPath, sForm, suffixes);
}

bool ScpiBool(const std::string& sArg) {
    const std::string a = Upper(sArg);
    return a == "1" || a == "ON";
}

} // namespace Sim
