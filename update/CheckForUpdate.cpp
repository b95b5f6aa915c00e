// The start-up update check as one call, for a caller that shows nothing while
// it runs.
#include "settings/AppConfig.h"
#include "update/BuiltInUpdateKey.h"
#include "update/UpdateCheck.h"

int AppConfigRecord::CheckForUpdate() { return CheckForUpdate(kBuiltInUpdateKey); }

int AppConfigRecord::CheckForUpdate(const UpdateKey& key) {
    UpdateCheck check(key);
    check.Start(nullptr);
    return check.Finish();
}
