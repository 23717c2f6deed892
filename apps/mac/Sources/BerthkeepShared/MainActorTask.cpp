#include "BerthkeepShared/MainActorTask.hpp"

#include <QtGlobal>

namespace berthkeep::detail {

void reportEscapedException(std::exception_ptr error, const char* name) {
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
    } catch (const std::exception& exception) {
        qWarning("%s ended with an unhandled exception: %s", name, exception.what());
    } catch (...) {
        qWarning("%s ended with an unhandled exception of unknown type", name);
    }
}

} // namespace berthkeep::detail
