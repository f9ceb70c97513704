#include "app/platform/LoginItem.h"

// Platforms whose login item is not written yet: the menu offers no "Start at login".
std::unique_ptr<LoginItem> makeLoginItem(const QString&) {
    return nullptr;
}
