// A settings tree: every node is a key named by its key, its children are sub-keys.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>
#include <memory>

#include "PrintChain.h"

// Prints the children of a node, indented by their depth.
void PrintChildren(const ZelRegistryQuonSet& node, int depth) {
    for (POSITION pos = node.GetHeadPosition(); pos != nullptr;) {
        const ZelRegistryQuonSet* child = node.GetNext(pos);
        std::printf("%*s%s\n", 2 * depth, "", child->GetKey().GetString());
        PrintChildren(*child, depth + 1);
    }
}

int main() {
    try {
        const ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr,
                                       nullptr, FALSE, FALSE);
        ZelRegistryQuonSet editor(location, "Editor");

        // By reference, a child is copied: fonts stays the caller's.
        ZelRegistryQuonSet fonts(editor, "Fonts");
        fonts.AddItem(ZelRegistryQuonSet(fonts, "Body"));
        fonts.AddItem(ZelRegistryQuonSet(fonts, "Heading"));
        editor.AddItem(fonts);

        // By pointer, the child is the node's once AddItem returns; if it throws, it is
        // still the caller's.
        auto colors = std::make_unique<ZelRegistryQuonSet>(editor, "Colors");
        editor.AddItem(colors.get());
        colors.release();

        // Keys ...\Settings\Editor, Editor\Fonts, Editor\Fonts\Body, Editor\Fonts\Heading
        // and Editor\Colors, below HKEY_CURRENT_USER.
        editor.Write(nullptr, nullptr);

        ZelRegistryQuonSet stored(location, "Editor");
        if (!stored.Read(nullptr, nullptr)) {
            std::printf("Editor is not stored\n");
            return 1;
        }
        std::printf("%s, %ld children\n", stored.GetKey().GetString(),
                    static_cast<long>(stored.GetCount()));
        PrintChildren(stored, 1);
    } catch (CException* e) {
        PrintChain(e);
        e->Delete();
        return 1;
    }
    return 0;
}
