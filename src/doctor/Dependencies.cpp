#include "doctor/Dependencies.h"

#include "doctor/Checklist.h"
#include "text/Text.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

namespace doctor {

namespace {

using text::upperAscii;

constexpr char kArrow[] = " \xE2\x86\x92 "; // " → "
constexpr int kMaxForwards = 16;            // forwarder hops followed for one function

struct Module {
    std::string name; // as first imported (the server: its file name)
    std::string file;
    PeTables tables;
    int parent = -1;      // the module that first imported it
    bool known = false;   // the system's copy of a KnownDLLs name
    bool delayed = false; // reached only through a delay-loaded import
};

class Walk {
public:
    Walk(const std::string& serverFile, const PeTables& server, classes::View view,
         const classes::ServerFileSystem& files, const ModuleReader& reader)
        : view_(view), files_(files), reader_(reader), ownFolder_(text::folderOf(serverFile)),
          stubs_(reader.stubsMissingFunctions())
    {
        for (const std::string& name : reader.knownDlls()) known_.insert(upperAscii(name));
        Module root;
        root.name = std::string(text::fileNameOf(serverFile));
        root.file = serverFile;
        root.tables = server;
        byName_[upperAscii(root.name)] = 0;
        modules_.push_back(std::move(root));
    }

    DependencyWalk run()
    {
        // What the loader binds when it loads the server, then what a first
        // call into a delay-loaded import would add.
        for (size_t i = 0; i < modules_.size(); ++i) bindAll(static_cast<int>(i), modules_[i].tables.imports, false);
        const size_t loaded = modules_.size();
        for (size_t i = 0; i < modules_.size(); ++i) {
            if (i >= loaded) bindAll(static_cast<int>(i), modules_[i].tables.imports, true);
            bindAll(static_cast<int>(i), modules_[i].tables.delayImports, true);
        }
        result_.modules = modules_.size();
        return std::move(result_);
    }

private:
    void bindAll(int from, const std::vector<PeImportedModule>& imports, bool delayed)
    {
        for (const PeImportedModule& import : imports) {
            if (isApiSetName(import.dll)) {
                ++result_.apiSets;
                continue;
            }
            const int found = resolve(import.dll, from, delayed);
            if (found < 0) continue;
            for (const PeImportedFunction& function : import.functions) {
                const std::string problem = missingExport(found, function, delayed, 0);
                if (problem.empty()) continue;
                std::string text = problem + " (imported by " + modules_[size_t(from)].name + ")";
                if (stubs_ && !delayed) text += ": this system's loader puts a stub in its place that fails when called";
                add(!delayed && !stubs_, text);
            }
        }
    }

    // Where the loader finds a DLL name for a module that imports it.
    struct Found {
        std::string file; // "" when nowhere
        classes::FoundBy foundBy = classes::FoundBy::SystemFolder;
        std::optional<ModuleFile> bytes;
        std::string wrongMachine; // the first file of another machine passed over
        PeImageInfo wrongImage;
    };
    Found locate(const std::string& name, const std::string& key, const Module& importer) const
    {
        Found found;
        const auto fits = [&](const std::string& candidate) {
            std::optional<ModuleFile> read = reader_.wholeFile(candidate);
            if (!read) return false;
            const PeImageInfo image = readPeImage(read->bytes);
            if (image.machineCode != modules_[0].tables.image.machineCode) {
                if (found.wrongMachine.empty()) {
                    found.wrongMachine = candidate;
                    found.wrongImage = image;
                }
                return false;
            }
            found.bytes = std::move(read);
            return true;
        };
        if (known_.contains(key)) {
            // The first search folder is the view's system folder.
            const std::vector<std::string> folders = files_.searchFolders(view_);
            const std::string candidate = folders.empty() ? "" : text::below(folders.front(), text::fileNameOf(name));
            if (files_.kindOf(candidate) == classes::PathKind::File && fits(candidate)) {
                found.file = candidate;
                return found;
            }
        }
        // A known DLL's dependencies are the system's too: no server folder for them.
        if (const std::optional<classes::SearchHit> hit =
                classes::searchFor(name, view_, files_, importer.known ? std::string() : ownFolder_, fits)) {
            found.file = hit->file;
            found.foundBy = hit->foundBy;
        }
        return found;
    }

    // The module a name binds to, or -1 (reported) when there is none.
    int resolve(const std::string& importName, int from, bool delayed)
    {
        std::string name = importName;
        if (text::fileNameOf(name).find('.') == std::string_view::npos) name += ".dll";
        const std::string key = upperAscii(text::fileNameOf(name));
        if (const auto seen = byName_.find(key); seen != byName_.end()) return seen->second;
        if (modules_.size() >= kMaxWalkModules) {
            add(true, "more than " + std::to_string(kMaxWalkModules) + " modules: the rest is not followed");
            return -1;
        }

        const Module& importer = modules_[size_t(from)];
        Found found = locate(name, key, importer);
        const std::string chain = chainOf(from) + kArrow + importName;
        if (found.file.empty()) {
            byName_[key] = -1;
            std::string text = chain + ": not found";
            if (!found.wrongMachine.empty())
                text = chain + ": only " + found.wrongMachine + " is found, built for " + machineName(found.wrongImage) +
                       ", not " + machineName(modules_[0].tables.image);
            add(!delayed, text + (delayed ? " (delay-loaded: a call into it fails)" : ""));
            return -1;
        }
        if (found.foundBy == classes::FoundBy::SearchPath)
            add(false, chain + " is found only through PATH (" + found.file + "): the host's environment decides");

        Module module;
        module.name = importName;
        module.file = found.file;
        module.tables = readPeTables(found.bytes->bytes);
        module.parent = from;
        module.known = known_.contains(key) || importer.known;
        module.delayed = delayed;
        if (!module.tables.readable)
            add(!delayed, chain + ": " + found.file + " is not readable: " + module.tables.problem);
        const int index = static_cast<int>(modules_.size());
        byName_[key] = index;
        modules_.push_back(std::move(module));
        return index;
    }

    // Why the module does not give the function ("" when it does), its
    // forwarders followed.
    std::string missingExport(int at, const PeImportedFunction& function, bool delayed, int hops)
    {
        const Module& module = modules_[size_t(at)];
        if (!module.tables.readable) return {}; // said already
        const PeExport* entry = function.name.empty() ? module.tables.exportByOrdinal(function.ordinal)
                                                      : module.tables.exportNamed(function.name);
        if (!entry) return module.name + " does not export " + functionName(function);
        if (entry->forwarder.empty()) return {};
        const std::optional<PeForwarder> forward = splitForwarder(entry->forwarder);
        if (!forward || hops >= kMaxForwards)
            return module.name + " forwards " + functionName(function) + " to \"" + entry->forwarder +
                   "\", which cannot be bound";
        if (isApiSetName(forward->dll)) return {};
        const int target = resolve(forward->dll, at, delayed);
        if (target < 0) return {}; // its absence is said already
        const std::string problem = missingExport(target, forward->function, delayed, hops + 1);
        if (problem.empty()) return {};
        return problem + ", to which " + module.name + " forwards " + functionName(function);
    }

    std::string chainOf(int at) const
    {
        std::vector<const std::string*> names; // from the module up to the server
        for (int i = at; i >= 0; i = modules_[size_t(i)].parent) names.push_back(&modules_[size_t(i)].name);
        std::string chain;
        while (!names.empty()) {
            if (!chain.empty()) chain += kArrow;
            chain += *names.back();
            names.pop_back();
        }
        return chain;
    }

    void add(bool fails, std::string text)
    {
        for (const DependencyFinding& finding : result_.findings)
            if (finding.text == text) return;
        result_.findings.push_back({fails, std::move(text)});
    }

    classes::View view_;
    const classes::ServerFileSystem& files_;
    const ModuleReader& reader_;
    std::string ownFolder_;
    bool stubs_;
    std::set<std::string> known_;
    std::deque<Module> modules_; // grows while its entries are read: references stay valid
    std::map<std::string, int> byName_; // upper-case base name: module, or -1 when not found
    DependencyWalk result_;
};

} // namespace

bool isApiSetName(const std::string& dll)
{
    const std::string upper = upperAscii(dll);
    return upper.rfind("API-MS-WIN-", 0) == 0 || upper.rfind("EXT-MS-", 0) == 0;
}

DependencyWalk walkDependencies(const std::string& serverFile, const PeTables& server, classes::View view,
                                const classes::ServerFileSystem& files, const ModuleReader& reader)
{
    return Walk(serverFile, server, view, files, reader).run();
}

} // namespace doctor
