// The one registration list: static in the process, and the loadable plug-in for gst-launch.

#include "filters/Registration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

using namespace vidorel;

namespace {

std::set<std::string> StaticElements() {
    std::set<std::string> names;
    GList* features = gst_registry_get_feature_list_by_plugin(gst_registry_get(), "vidorel");
    for (GList* l = features; l != nullptr; l = l->next) {
        names.insert(GST_OBJECT_NAME(l->data));
    }
    gst_plugin_feature_list_free(features);
    return names;
}

// The element names gst-inspect-1.0 finds in the plug-in file (a separate process, its own
// registry, so a plug-in that does not load shows as missing elements).
std::set<std::string> PluginElements() {
    const std::string cmd =
        std::string("GST_REGISTRY=$(mktemp -u /tmp/vidorel-reg-XXXXXX) GST_PLUGIN_PATH='") +
        VIDOREL_GST_PLUGIN_DIR + "' gst-inspect-1.0 vidorel 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::set<std::string> names;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        // "  zv_tsnormalizer: Marlott zv_TsNormalizer"
        std::string s(line);
        const auto colon = s.find(": ");
        if (s.rfind("  ", 0) == 0 && s.find("Marlott") != std::string::npos &&
            colon != std::string::npos) {
            names.insert(s.substr(2, colon - 2));
        }
    }
    return names;
}

} // namespace

TEST(Registration, isIdempotent_andThePluginFileHoldsTheSameElements) {
    gst_init(nullptr, nullptr);
    RegisterVidorelElements();
    RegisterVidorelElements();
    ASSERT_TRUE(VidorelElementsRegistered());
    const auto inProcess = StaticElements();
    EXPECT_EQ(inProcess.count("zv_tsnormalizer"), 1u);
    EXPECT_EQ(PluginElements(), inProcess);
}
