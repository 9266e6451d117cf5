// The words given for results 7 and 8, against working directories holding
// the decoder doubles, some missing or damaged.
#include <gtest/gtest.h>

#include <string>

#include "ModuleDiagnosis.h"
#include "ResultCodes.h"
#include "TestSupport.h"

using qvtest::DoubleRig;

namespace {

bool Says(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ModuleDiagnosis, NamesTheModuleAndTheLoadersReason)
{
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    {
        DoubleRig rig("full", qvtest::kNone);
        std::string why = DiagnoseDecoderModules(QV_ERR_LOAD_MODULES);
        EXPECT_TRUE(Says(why, "libma32.so: cannot open shared object file")) << why;
        EXPECT_TRUE(Says(why, "; libmasd32.so: cannot open shared object file")) << why;
    }
    {
        // A damaged masd32 in the search and no ma32 at all.
        DoubleRig rig("full", qvtest::kNone);
        std::vector<unsigned char> whole = qvtest::ReadFile(std::string(QUORVAN_DOUBLES_DIR) + "/full/libmasd32.so");
        qvtest::WriteFile(rig.Path("libmasd32.so"), std::string(whole.begin(), whole.begin() + 3000));
        std::string why = DiagnoseDecoderModules(QV_ERR_LOAD_MODULES);
        EXPECT_TRUE(Says(why, "libmasd32.so: not a loadable shared object: truncated")) << why;
    }
    {
        DoubleRig rig("full", qvtest::kOnlyMa32);
        std::string why = DiagnoseDecoderModules(QV_ERR_ENTRY_POINT);
        EXPECT_TRUE(Says(why, "libmasd32.so: cannot open shared object file")) << why;
        EXPECT_TRUE(Says(why, "masd_init is missing")) << why;
    }
    {
        DoubleRig rig("no_bitrate");
        std::string why = DiagnoseDecoderModules(QV_ERR_ENTRY_POINT);
        EXPECT_TRUE(Says(why, "libma32.so: undefined symbol: ma_mpegBitrateString")) << why;
        EXPECT_EQ(DiagnoseDecoderModules(QV_ERR_NO_AUDIO), "");
    }
}
