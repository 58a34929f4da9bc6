#pragma once
// The user's file-type catalogue: loading it (from the shipped catalogue on first
// use), ticking types, adding types (typed in or taken from a sample file) and
// removing them, each change written back at once. Failures are answered as the
// exact message texts the user is shown.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "signatures/Checker.h"
#include "signatures/SigNode.h"

namespace norix {

// The add-file-type form, as the user filled it in.
struct NewSigForm {
    std::string category;
    std::string fileType;  // the type's display name
    std::string extension;
    std::string signature;  // hexadecimal, byte pairs may be spaced
    std::string offset;
    std::string maximumSize;
    std::string sizeUnit = "MB";  // the unit beside the maximum size: "KB", "MB", "GB", "TB"
};

class SigCatalogue {
public:
    // Its first element is the root; the root's children are the categories.
    std::vector<std::unique_ptr<SigNode>> sigRootArray;
    // The checkers of the ticked types, as the last load found them.
    SelectedSigArray selectedSigArray;
    // Extensions by media group, from the position of their category.
    std::vector<std::string> images, audio, video, others;

    // "Sig_AL.dat" in the data folder.
    static std::string catalogueFilePath();
    // The shipped catalogue (the text of resources/Sig_AL.json, built in).
    static std::string_view shippedCatalogue();
    // The catalogue array from the catalogue file's text; throws std::exception when it
    // is not a catalogue.
    static std::vector<std::unique_ptr<SigNode>> parseCatalogue(std::string_view text);

    // Loads the user's catalogue, or the shipped one when there is none. A user file
    // that cannot be read is kept aside as "Sig_AL.dat.bad" and replaced by the shipped
    // catalogue; the answer then says so (nothing when all went well).
    std::optional<std::string> loadSig();
    // The shipped catalogue, saved as the user's.
    void copySigData();
    // Writes the catalogue to the user's file (replacing it whole); false, after
    // logging "Failed Signature", when it cannot be written.
    bool saveSigData() const;

    // Adds the form's type and saves; the form is cleared. Otherwise the first failed
    // check's message, and nothing changes ("Failed Signature" when the type was added
    // but could not be saved).
    std::optional<std::string> addNewSigOKClicked(NewSigForm& form);
    // Removes the file type; its category goes too when left empty, unless it is one of
    // the shipped categories (whose positions decide the media groups). False when the
    // catalogue could not be saved.
    bool removeFileType(SigNode* node);
    // The first file type with exactly this extension.
    SigNode* checkForFileTypeExists(const std::string& extension) const;
    // Every file type with exactly this extension.
    std::vector<SigNode*> fileTypesWithExtension(const std::string& extension) const;
    // The form prefilled from a sample file, or the message to show instead ("Same File
    // Type already exist." when a type with its extension has its header).
    std::variant<NewSigForm, std::string> checkForFileTypeForSlectedFile(const std::string& path) const;
    static NewSigForm addFileTypeFromBrowsedFileWithData_andExtension(std::span<const uint8_t> firstBytes,
                                                                      const std::string& extension,
                                                                      uint64_t fileLength);
    static void fillNullValue(NewSigForm& form);

    // Saves, then loads again.
    std::optional<std::string> applyClicked();
    // Unticks everything.
    void clearClicked();
    // Toggles the node (ticked or partly ticked: off; unticked: on) and updates its
    // ancestors.
    void sigCheckClicked(SigNode* node);
    // Ticks or unticks the node and updates its ancestors.
    void setTicked(SigNode* node, bool ticked);
    // The checkers of the types ticked now.
    SelectedSigArray makeSelectedSigArray() const;

    SigNode* root() const { return sigRootArray.empty() ? nullptr : sigRootArray.front().get(); }

    // The header number of a hexadecimal text: pairs of characters, the first pair most
    // significant; a character that is not a hexadecimal digit counts as 0.
    static uint64_t getHeaderFromString(std::string_view text);
    static bool stringIsNumeric(std::string_view text);
    static bool stringIsHex(std::string_view text);

private:
    std::optional<std::string> validate(NewSigForm& form, uint32_t& maximumSizeMiB) const;
    void fillLists();
};

}  // namespace norix
