// A build without the HTTP server's libraries (the Windows build): the exporter's command
// is known, but there is no server to run it.

#include "cli/Exporter.h"

namespace kv::cli {

int RunExporter(const ConnectionOptions&, const ExporterOptions&, Output& out, const RunControl&) {
    out.Report("kv3380u: exportér pro Prometheus v tomto sestavení není k dispozici");
    return kExitInternal;
}

}  // namespace kv::cli
