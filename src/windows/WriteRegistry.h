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

class WriteRegistry : public platform::Window {
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
                 registry::View view = registry::View::Bits64);

    const std::string& loadedTemplate() const { return templateText; }

private:
    // Controls, in tab order.
    platform::TextBox tbMenu;
    platform::TextBox tbDescription;
    platform::TextBox tbRegFileName;
    platform::Button cmdWrite;
    platform::Button cmdQuit;
    platform::Label lblClsId{{platform::Label::Align::Left, false, true}};
    platform::Label Label1{{platform::Label::Align::Right}};
    platform::Label Label2{{platform::Label::Align::Right}};
    platform::Label Label3{{platform::Label::Align::Right}};
    platform::Label Label4;
    platform::Label Label5{{platform::Label::Align::Right}};
    platform::Label lblInProcServer{{platform::Label::Align::Left, false, true}};
    platform::Label Label6;
    platform::CheckBox chkR6;
    platform::CheckBox chkR6Only;
    platform::CheckBox chkUnRegFile;
    platform::Label lblUnRegFile;

    // State, kept while the window is closed.
    std::string templateText;
    bool templateWarned = false;
    std::string templateFile; // the file templateText came from; "" for the built-in one
    registry::View serverView = registry::View::Bits64; // the view lblInProcServer was read in

    // Handlers and the operations they run.
    void createControls();
    void loadRegTemplate();
    void deriveUnRegFileName();
    void writeRegFile();
    bool writeScript(const std::string& path, const std::string& text);
};
