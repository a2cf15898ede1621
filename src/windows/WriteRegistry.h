#pragma once
// The reg-file window: collects what a register script for an add-in needs,
// writes it (and an un-register script) from the registration template, and
// on request registers the server and merges the script.
//
// One instance lives for the whole run. Closing the window discards its
// controls and what was typed in them; the template and its warning flag
// stay with the instance.
#include "classes/Registry.h"
#include "windows/Toolkit.h"

#include <string>

namespace windows {

class WriteRegistry : public Window {
public:
    // Creating the instance loads the template.
    WriteRegistry();

    // The 406-character template used when no template file can be had.
    static std::string buildInRegTemplate();

    // Loads the window if it is closed, fills the class, its server and the
    // script's path, and shows it without blocking. An open window keeps the
    // menu name, description and check boxes the user left. `view` is the
    // registry view the server was read in.
    void openFor(const std::string& clsid, const std::string& inProcServer, const std::string& regFileName,
                 classes::View view = classes::View::Bits64);

    const std::string& loadedTemplate() const { return templateText; }

private:
    // Controls, in tab order.
    windows::TextBox tbMenu;
    windows::TextBox tbDescription;
    windows::TextBox tbRegFileName;
    windows::Button cmdWrite;
    windows::Button cmdQuit;
    windows::Label lblClsId{{windows::Label::Align::Left, false, true}};
    windows::Label Label1{{windows::Label::Align::Right}};
    windows::Label Label2{{windows::Label::Align::Right}};
    windows::Label Label3{{windows::Label::Align::Right}};
    windows::Label Label4;
    windows::Label Label5{{windows::Label::Align::Right}};
    windows::Label lblInProcServer{{windows::Label::Align::Left, false, true}};
    windows::Label Label6;
    windows::CheckBox chkR6;
    windows::CheckBox chkR6Only;
    windows::CheckBox chkUnRegFile;
    windows::Label lblUnRegFile;

    // State, kept while the window is closed.
    std::string templateText;
    bool templateWarned = false;
    std::string templateFile; // the file templateText came from; "" for the built-in one
    classes::View serverView = classes::View::Bits64; // the view lblInProcServer was read in

    // Handlers and the operations they run.
    void createControls();
    void loadRegTemplate();
    void deriveUnRegFileName();
    void writeRegFile();
    bool writeScript(const std::string& path, const std::string& text);
};

} // namespace windows
