#include "cli/TypesCommand.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "disk/Platform.h"
#include "signatures/SigCatalogue.h"

namespace norix::cli {

namespace {

enum ExitCode { kDone = 0, kRefused = 2, kNotWritten = 5 };

// Loads the catalogue, saying on stderr when the user's file had to be replaced.
void load(SigCatalogue& catalogue) {
    if (const auto report = catalogue.loadSig()) std::fprintf(stderr, "norix: %s\n", report->c_str());
}

const char* tickMark(uint8_t selected) { return selected == 2 ? "[x]" : selected == 1 ? "[-]" : "[ ]"; }

std::string signatureText(const Sig& sig) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*" PRIx64, 2 * sig.headerLength, sig.header);
    return text;
}

void printText(const SigNode& root) {
    for (const auto& category : root.children) {
        std::printf("%s %s\n", tickMark(category->selected), category->category.c_str());
        for (const auto& type : category->children) {
            const Sig& sig = *type->sig;
            std::printf("    %s %-5s %-16s @%-3u %6u MB  %s%s\n", tickMark(type->selected), sig.extension.c_str(),
                        signatureText(sig).c_str(), sig.offset, sig.defaultSize, sig.software.c_str(),
                        sig.preInstalled ? "" : " (added)");
        }
    }
}

void printJson(const SigNode& root) {
    nlohmann::ordered_json categories = nlohmann::ordered_json::array();
    for (const auto& category : root.children) {
        nlohmann::ordered_json types = nlohmann::ordered_json::array();
        for (const auto& type : category->children) {
            const Sig& sig = *type->sig;
            types.push_back({{"extension", sig.extension},
                             {"software", sig.software},
                             {"signature", signatureText(sig)},
                             {"offset", sig.offset},
                             {"defaultSize", sig.defaultSize},
                             {"preInstalled", sig.preInstalled},
                             {"selected", type->selected}});
        }
        categories.push_back(
            {{"category", category->category}, {"selected", category->selected}, {"types", std::move(types)}});
    }
    std::printf("%s\n", categories.dump(2).c_str());
}

int notWritten() {
    std::fprintf(stderr, "norix: the file-type catalogue could not be written to %s\n",
                 SigCatalogue::catalogueFilePath().c_str());
    return kNotWritten;
}

bool isKnownUnit(const std::string& unit) { return unit == "KB" || unit == "MB" || unit == "GB" || unit == "TB"; }

// Adds the form's type, or reports why not.
int submit(SigCatalogue& catalogue, NewSigForm form) {
    const NewSigForm typed = form;
    if (const auto message = catalogue.addNewSigOKClicked(form)) {
        if (*message == "Failed Signature") return notWritten();
        std::fprintf(stderr, "norix: %s\n", message->c_str());
        return kRefused;
    }
    std::printf("added \"%s\" (%s) under \"%s\"; tick it with: norix types select %s\n", typed.fileType.c_str(),
                typed.extension.c_str(), typed.category.c_str(), typed.extension.c_str());
    return kDone;
}

// Reads the form's options into form, and a lone argument into file; false (with the
// reason) on a bad option.
bool takeFormOptions(const std::vector<std::string>& args, size_t first, NewSigForm& form, std::string& file,
                     std::string& error) {
    const std::map<std::string, std::string NewSigForm::*> fields{
        {"--category", &NewSigForm::category}, {"--name", &NewSigForm::fileType},
        {"--ext", &NewSigForm::extension},     {"--signature", &NewSigForm::signature},
        {"--offset", &NewSigForm::offset},     {"--max-size", &NewSigForm::maximumSize},
        {"--unit", &NewSigForm::sizeUnit}};
    for (size_t i = first; i < args.size(); ++i) {
        const auto field = fields.find(args[i]);
        if (field != fields.end() && i + 1 == args.size()) {
            error = args[i] + " takes a value";
            return false;
        }
        if (field != fields.end())
            form.*(field->second) = args[++i];
        else if (!args[i].starts_with("--") && file.empty())
            file = args[i];
        else {
            error = (args[i].starts_with("--") ? "unknown option " : "unexpected argument ") + args[i];
            return false;
        }
    }
    if (!form.sizeUnit.empty() && !isKnownUnit(form.sizeUnit)) {
        error = "--unit takes KB, MB, GB or TB";
        return false;
    }
    return true;
}

int listTypes(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usageError) {
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json")
            json = true;
        else
            return usageError("types: unknown option " + args[i]);
    }
    SigCatalogue catalogue;
    load(catalogue);
    if (json)
        printJson(*catalogue.root());
    else
        printText(*catalogue.root());
    return kDone;
}

int tickTypes(const std::vector<std::string>& args, bool ticked,
              const std::function<int(const std::string&)>& usageError) {
    if (args.size() < 2) return usageError("types " + args[0] + ": name at least one extension");
    SigCatalogue catalogue;
    load(catalogue);
    for (size_t i = 1; i < args.size(); ++i) {
        const auto types = catalogue.fileTypesWithExtension(args[i]);
        if (types.empty()) return usageError("types " + args[0] + ": no file type has the extension " + args[i]);
        for (SigNode* type : types) catalogue.setTicked(type, ticked);
    }
    return catalogue.saveSigData() ? kDone : notWritten();
}

int addType(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usageError) {
    NewSigForm form;
    std::string extra, error;
    if (!takeFormOptions(args, 1, form, extra, error) || !extra.empty())
        return usageError("types add: " + (error.empty() ? "unexpected argument " + extra : error));
    SigCatalogue catalogue;
    load(catalogue);
    return submit(catalogue, form);
}

int removeType(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usageError) {
    if (args.size() != 2) return usageError("types remove: name one extension");
    SigCatalogue catalogue;
    load(catalogue);
    SigNode* type = catalogue.checkForFileTypeExists(args[1]);
    if (!type) return usageError("types remove: no file type has the extension " + args[1]);
    return catalogue.removeFileType(type) ? kDone : notWritten();
}

int addTypeFromFile(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usageError) {
    NewSigForm given{"", "", "", "", "", "", ""};  // only what the options give
    std::string file, error;
    if (!takeFormOptions(args, 1, given, file, error)) return usageError("types from-file: " + error);
    if (file.empty()) return usageError("types from-file: FILE is missing");
    SigCatalogue catalogue;
    load(catalogue);
    auto result = catalogue.checkForFileTypeForSlectedFile(file);
    if (const auto* message = std::get_if<std::string>(&result)) {
        std::fprintf(stderr, "norix: %s\n", message->c_str());
        return kRefused;
    }
    NewSigForm form = std::get<NewSigForm>(result);
    std::printf("from %s: --ext %s --signature %s --offset %s --max-size %s --unit %s\n", file.c_str(),
                form.extension.c_str(), form.signature.c_str(), form.offset.c_str(), form.maximumSize.c_str(),
                form.sizeUnit.c_str());
    for (auto field : {&NewSigForm::category, &NewSigForm::fileType, &NewSigForm::extension, &NewSigForm::signature,
                       &NewSigForm::offset, &NewSigForm::maximumSize, &NewSigForm::sizeUnit})
        if (!(given.*field).empty()) form.*field = given.*field;
    return submit(catalogue, form);
}

}  // namespace

int typesCommand(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usageError) {
    setConsoleQuiet(true);  // the command says itself what happened
    const std::string action = args.empty() ? "" : args[0];
    if (action.empty() || action.starts_with("--")) return listTypes(args, usageError);
    if (action == "select" || action == "unselect") return tickTypes(args, action == "select", usageError);
    if (action == "add") return addType(args, usageError);
    if (action == "remove") return removeType(args, usageError);
    if (action == "from-file") return addTypeFromFile(args, usageError);
    return usageError("types: unknown action " + action);
}

std::optional<SelectedSigArray> checkersForScan(const std::optional<std::string>& typeList, std::string& error) {
    SigCatalogue catalogue;
    load(catalogue);
    if (!typeList) return catalogue.selectedSigArray;
    catalogue.clearClicked();
    size_t start = 0;
    while (start <= typeList->size()) {
        const size_t comma = std::min(typeList->find(',', start), typeList->size());
        const std::string extension = typeList->substr(start, comma - start);
        start = comma + 1;
        if (extension.empty()) continue;
        const auto types = catalogue.fileTypesWithExtension(extension);
        if (types.empty()) {
            error = "no file type has the extension " + extension;
            return std::nullopt;
        }
        for (SigNode* type : types) catalogue.setTicked(type, true);
    }
    return catalogue.makeSelectedSigArray();
}

}  // namespace norix::cli
