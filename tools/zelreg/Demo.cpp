// demo: what an application keeps in the registry with the library, shown with the tool.
//
// The demo application "ZelregDemo" 1.0 keeps two kinds of settings:
//   ...\ZelregDemo\Versions\1.0\Options\General    profile values: RunCount, Greeting, Accent
//   ...\ZelregDemo\Versions\1.0\Settings\Panels     a ZelPropertySets collection, one set per
//                                                   panel, each with Visible, Size and Caption
// Every run reads them back, counts itself, widens the Explorer panel and writes them again,
// so a second run shows what the first one stored. Last, `query /s` shows what landed.
#include "Verbs.h"
#include "Zelreg.h"

#include <ZelRegistry/ZelRegistry.h>

#include <ostream>

namespace zelregtool {
namespace {

const char kComponent[] = "ZelregDemo";
const char kVersion[] = "1.0";
const char kSection[] = "General";

struct Panel {
    const char* name;
    LONG visible;
    LONG size;
    const char* caption;
};
const Panel kPanels[] = {{"Explorer", 1, 240, "Project explorer"}, {"Output", 0, 160, "Build output"}};

// Every item of a set read back, as "Name=value" pairs.
std::string Describe(const ZelRegistryQuonSet& set) {
    std::string text;
    POSITION position = set.GetHeadPosition();
    while (position) {
        const ZelRegistryQuonSet* node = set.GetNext(position);
        if (!node->IsKindOf(RUNTIME_CLASS(ZelPropertyItem))) continue;
        const auto& item = static_cast<const ZelPropertyItem&>(*node);
        text += std::string(" ") + static_cast<const char*>(node->GetKey()) + "=";
        if (item.GetItemType() == ITEMTYPE_LONG) {
            text += std::to_string(item.GetLong());
        } else if (item.GetItemType() == ITEMTYPE_STRING) {
            text += std::string("\"") + static_cast<const char*>(item.GetString()) + "\"";
        }
    }
    return text;
}

// The Size a panel had, or its default.
LONG StoredSize(const ZelPropertySets& panels, const Panel& panel) {
    const ZelRegistryQuonSet* set = panels.GetItem(panel.name);
    const ZelRegistryQuonSet* node = set ? set->GetItem("Size") : nullptr;
    if (!node || !node->IsKindOf(RUNTIME_CLASS(ZelPropertyItem))) return panel.size;
    const auto& item = static_cast<const ZelPropertyItem&>(*node);
    return item.GetItemType() == ITEMTYPE_LONG ? item.GetLong() : panel.size;
}

void RunApplication(std::ostream& out) {
    ZelRegistryBase options(kComponent, kVersion, ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    const UINT runs = options.GetProfileIntA(kSection, "RunCount", 0);
    out << "Read at start: RunCount=" << runs << " Greeting=\""
        << static_cast<const char*>(options.GetProfileStringA(kSection, "Greeting", "(none)")) << "\"\n";

    const ZelRegistryQuonSet settings(kComponent, kVersion, ZelRegistryBase::eSettings, nullptr, nullptr, FALSE,
                                      FALSE);
    ZelPropertySets stored(settings, "Panels");
    if (!stored.Read(nullptr, nullptr)) out << "  No panels stored yet: this is the first run.\n";
    POSITION position = stored.GetHeadPosition();
    while (position) {
        const ZelRegistryQuonSet* set = stored.GetNext(position);
        out << "  Panels\\" << static_cast<const char*>(set->GetKey()) << ':' << Describe(*set) << '\n';
    }

    options.WriteProfileInt(kSection, "RunCount", static_cast<int>(runs + 1));
    options.WriteProfileStringA(kSection, "Greeting", "Hello from zelreg");
    BYTE accent[] = {0x1E, 0x90, 0xFF};  // an RGB colour, kept as bytes
    options.WriteProfileBinary(kSection, "Accent", accent, sizeof accent);

    ZelPropertySets panels(settings, "Panels");
    for (const Panel& panel : kPanels) {
        // The user widens the explorer a little on every run.
        const LONG size = StoredSize(stored, panel) + (&panel == &kPanels[0] ? 16 : 0);
        ZelPropertySet set(panels, panel.name);
        set.AddItem(ZelPropertyItem(set, "Visible", panel.visible));
        set.AddItem(ZelPropertyItem(set, "Size", size));
        set.AddItem(ZelPropertyItem(set, "Caption", CString(panel.caption)));
        panels.AddItem(set);
    }
    panels.Write(nullptr, nullptr);
    out << "Written: RunCount=" << runs + 1 << ", Panels\\Explorer\\Size=" << StoredSize(panels, kPanels[0])
        << "\n";
}

// The component's key, from the library's own composition of the location.
std::string ComponentKey() {
    const ZelRegistryBase location(kComponent, kVersion, ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    const std::string path = static_cast<const char*>(location.GetRegistryPath());
    return "HKEY_CURRENT_USER\\" + path.substr(0, path.find("\\Versions\\"));
}

}  // namespace

int DemoVerb(const Arguments&, Console& console) {
    console.out << "Settings of the demo application \"" << kComponent << "\" " << kVersion
                << ", kept with the ZelRegistry classes in the per-user registry.\n\n";
    try {
        RunApplication(console.out);
    } catch (ZelPropertyObjectException* e) {
        console.err << "ERROR: the demo settings could not be kept:\n";
        {
            ZelEhLogFile log(console.err);
            e->Log(log);
        }
        e->Delete();
        return 1;
    }
    const std::string key = ComponentKey();
    console.out << "\nWhat the registry holds now (zelreg query " << key << " /s):\n";
    return RunZelreg({"query", key, "/s"}, console);
}

}  // namespace zelregtool
