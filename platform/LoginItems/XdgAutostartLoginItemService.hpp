#pragma once

#include <string>

#include "platform/LoginItems/LoginItemService.hpp"

namespace berthkeep {

// The login item as a desktop entry in the XDG autostart folder: the session
// starts every entry there at login unless the entry is hidden or switched off.
//
// Status: no entry gives notRegistered (notFound when the executable to start is
// missing too); an entry that starts this executable gives enabled; an entry that
// is hidden, switched off or starts something else gives requiresApproval, which
// registering again repairs and unregistering removes.
class XdgAutostartLoginItemService final : public LoginItemService {
public:
    // entryName: the file name without ".desktop" (the bundle identifier).
    XdgAutostartLoginItemService(std::string autostartFolder, std::string entryName,
                                 std::string executablePath,
                                 std::string applicationName = "Berthkeep");

    // $XDG_CONFIG_HOME/autostart when that variable holds an absolute path,
    // otherwise $HOME/.config/autostart.
    static std::string defaultAutostartFolder();

    // The Exec value that starts the executable: always quoted, with the quoting
    // and string escapes of the desktop entry format and "%" doubled.
    static std::string execValue(const std::string& executablePath);

    std::string entryPath() const;
    const std::string& executablePath() const { return m_executablePath; }

    LoginItemStatus status() const override;
    void registerItem() override;
    void unregisterItem() override;

private:
    std::string entryContents() const;

    std::string m_folder;
    std::string m_entryName;
    std::string m_executablePath;
    std::string m_applicationName;
};

} // namespace berthkeep
