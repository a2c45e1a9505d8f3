# The layers of the program, from the ground up: name | the folders and files it holds |
# what else its files may include. A file belongs to the layer whose pattern names it most
# closely ("connection/*Form.*" before "connection/"); it may include files of its own
# layer and of the layers and single files its row names, all of which stand above it in
# this table, so no include runs upwards. A folder ending in "/" holds everything below
# it. cmake/CheckLayers.cmake checks every source against this (test layers_run_downwards).
set(KV_LAYERS
    "platform    | platform/                  |"
    "transport   | transport/                 | platform"
    "wire        | libraries/KvWire.*         |"
    "libraries   | libraries/                 | wire transport/kvtransport.h"
    "core        | core/                      | transport platform"
    "emulator    | emulator/                  | wire core/ModuleConfig.h core/ConfigBlocks.h core/Requests.h core/StatusReplies.h"
    "connection  | connection/                | core transport platform"
    "editors     | editors/                   | core transport platform"
    "diagnostics | diagnostics/               | core transport platform"
    "backup      | backup/                    | connection editors core transport platform"
    "forms       | forms/ connection/*Form.* editors/*Form.* diagnostics/*Form.* backup/*Form.* | backup connection editors diagnostics core transport platform"
    "app         | app/                       | forms backup connection editors diagnostics core transport platform"
    "cli         | cli/                       | backup connection editors diagnostics core transport platform")

# Top-level folders outside the layers: what tests and measures the program, and build
# trees.
set(KV_LAYER_EXEMPT "tests" "bench" "build.*")
