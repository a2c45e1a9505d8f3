# A table that lets the ground include what stands on it.
set(KV_LAYERS
    "platform | platform/ | core"
    "core     | core/     | platform")
set(KV_LAYER_EXEMPT "")
