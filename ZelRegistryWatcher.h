// Hearing about changes to settings: which key of a registry location changed and how, as
// they are made, by this process or any other.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "frame/ZelPlatform.h"

class ZelRegistryBase;
class ZelRegistryQuonSet;
struct ZelRegistryWatcherState;

/// Hears about changes to settings: which key of a registry location changed and how, as they
/// are made, by this process or any other (another instance of the program, zelreg, an
/// import).
///
/// \code
/// ZelRegistryWatcher watcher(location, TRUE, [](const ZelRegistryWatcher::Change& change) {
///     ... change.kind, change.strKey, change.strValue ...
/// });
/// \endcode
///
/// With a callback, the watcher calls it from a thread of its own, one change at a time, in
/// the order the changes were made. Without one, a program with its own event loop waits on
/// GetWaitable() (poll() it for reading on Linux; wait for the event on Windows) and takes the
/// changes with ReadChanges().
///
/// What is watched is the location's key under HKEY_CURRENT_USER (where its Write with a null
/// handle writes), for a settings node (ZelRegistryQuonSet, ZelPropertySet, ...) the node's own
/// key below it, or any key below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; with the sub-tree,
/// every key below as well, otherwise the key's values and the creation and deletion of its
/// direct sub-keys. The key has to exist when watching begins. Deleted later, it is reported
/// deleted (after its sub-keys, deepest first); created again, it is reported created and
/// watching goes on.
///
/// eLost means the watcher could not follow every change (it fell far behind, or the
/// registry could not tell it); the program should read its settings anew. On Windows, and on
/// Linux for HKEY_LOCAL_MACHINE, what changed is found by comparing copies of the tree, so
/// changes in quick succession may arrive merged: several changes to one value as one, a key
/// deleted and created again in between as its values' changes.
///
/// The constructors throw failures as ZelPropertyObjectException, whose cause is a
/// ZelPropertyLocalException: ZEL_LOCAL_NO_KEY (2804) when the key to watch does not exist,
/// ZEL_LOCAL_WATCH_REFUSED (2805) when the registry could not watch it (access denied, no
/// resources left), ZEL_LOCAL_EMPTY_KEY (2801) for a node without a key name.
class ZEL_OFSET_API ZelRegistryWatcher {
public:
    /// What happened to a key or value.
    enum eChange : DWORD {
        eValueSet = ZELREG_CHANGE_VALUE_SET,          ///< A value was set, new or changed.
        eValueDeleted = ZELREG_CHANGE_VALUE_DELETED,  ///< A value was deleted.
        eKeyCreated = ZELREG_CHANGE_KEY_CREATED,      ///< A key was created.
        eKeyDeleted = ZELREG_CHANGE_KEY_DELETED,      ///< A key was deleted.
        /// Changes were missed: read the settings anew.
        eLost = ZELREG_CHANGE_LOST,
    };

    /// One change, as the callback and ReadChanges() report it.
    struct Change {
        /// What happened.
        eChange kind;
        /// The changed key's full path, beginning with the root key's name:
        /// "HKEY_CURRENT_USER\Software\...". For eLost, the watched key's path.
        CString strKey;
        /// For eValueSet and eValueDeleted the value's name ("" for the key's default value);
        /// "" otherwise.
        CString strValue;
    };

    /// Called on the watcher's thread. Whatever it throws is dropped (a framework exception
    /// deleted); the next change still comes. It may destroy the watcher: no call follows.
    using Callback = std::function<void(const Change&)>;

    /// Watches a location's key, with bSubtree every key below it too; the changes wait for
    /// ReadChanges().
    ZelRegistryWatcher(const ZelRegistryBase& Location, BOOL bSubtree);
    /// Watches a location's key, with bSubtree every key below it too, and calls `callback`
    /// with each change.
    ZelRegistryWatcher(const ZelRegistryBase& Location, BOOL bSubtree, Callback callback);
    /// Watches a settings node's key (the node's key name below its location), with bSubtree
    /// every key below it too; the changes wait for ReadChanges().
    ZelRegistryWatcher(const ZelRegistryQuonSet& Node, BOOL bSubtree);
    /// Watches a settings node's key (the node's key name below its location), with bSubtree
    /// every key below it too, and calls `callback` with each change.
    ZelRegistryWatcher(const ZelRegistryQuonSet& Node, BOOL bSubtree, Callback callback);
    /// Watches pszKey below hRoot, which is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE (an empty
    /// or null name: the root key itself), with bSubtree every key below it too; the changes
    /// wait for ReadChanges().
    ZelRegistryWatcher(HKEY hRoot, LPCTSTR pszKey, BOOL bSubtree);
    /// Watches pszKey below hRoot, which is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE (an empty
    /// or null name: the root key itself), with bSubtree every key below it too, and calls
    /// `callback` with each change.
    ZelRegistryWatcher(HKEY hRoot, LPCTSTR pszKey, BOOL bSubtree, Callback callback);

    /// Stops watching. A callback that is running on the watcher's thread is waited for;
    /// called from inside the callback itself, it returns at once and no further call comes.
    ~ZelRegistryWatcher();

    ZelRegistryWatcher(const ZelRegistryWatcher&) = delete;
    ZelRegistryWatcher& operator=(const ZelRegistryWatcher&) = delete;

    /// The watched key's full path, as Change::strKey gives paths.
    CString GetKeyPath() const;

    /// A change's kind in words, as zelreg shows it: "value set", "value deleted",
    /// "key created", "key deleted" or "changes lost".
    static LPCTSTR KindText(eChange kind);

    /// Without a callback: signalled (readable) while changes wait for ReadChanges. It belongs
    /// to the watcher; do not close it. With a callback, and in a child process after fork(),
    /// -1 on Linux, null on Windows.
    ZelWatchWaitable GetWaitable() const;

    /// Without a callback: takes every change waiting, oldest first; none when nothing has
    /// changed. With a callback, and in a child process after fork() (the watcher belongs to
    /// the parent; the child hears nothing of it), always none.
    std::vector<Change> ReadChanges();

private:
    void Start(HKEY hRoot, const CString& strKey, BOOL bSubtree, Callback callback);
    void Stop() noexcept;

    std::shared_ptr<ZelRegistryWatcherState> m_state;
};
