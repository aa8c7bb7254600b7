#pragma once
// Errors of the plug-in host; each carries only its message.
#include "base/errors.h"

namespace kelvora {

// "%s:Susie Pluginがロードできませんでした": the library does not load.
class ESPIFOpenErrorSPI : public Exception {
    using Exception::Exception;
};
// "%sは[%s]では使えないSusie Plugin APIです": a required entry point is missing.
class ESPIInvalidAPI : public Exception {
    using Exception::Exception;
};
// Raised by nothing here; CreateSPI treats it like ESPIFOpenErrorSPI.
class ESPIInvalidSPI : public Exception {
    using Exception::Exception;
};
// "TSPIs は複数生成できません": a second manager.
class ESPIDupCreateSPIs : public Exception {
    using Exception::Exception;
};
// A plug-in call in the decoding helper crashed, hung or returned garbage.
class ESPIPluginFailed : public Exception {
    using Exception::Exception;
};

} // namespace kelvora
