// AutoSend and the responder against kestrana-devsim, as a person would try
// them: the device answers the string sent, the responder answers the device.

#include "AutomationTestSupport.h"

#include "automation/AutoResponseDlg.h"
#include "automation/AutoSendDlg.h"
#include "automation/HexEdit.h"
#include "tests/common/DevsimProcess.h"

namespace {

using namespace autotest;

class DevsimTrial : public AutomationFixture {
protected:
    std::string DevicePath() override
    {
        // Answers 01 02 with AA BB and echoes everything else.
        if (!m_sim.StartDevice({"--echo", "--reply", "0102=AABB"}))
            return {};
        return m_sim.FarEndPath();
    }
    testchild::DevsimProcess m_sim;
};

TEST_F(DevsimTrial, AutoSendGetsTheDeviceAnswerAndTheResponderAnswersThat)
{
    Doc()->m_bHexMode = 1;  // received blocks shown as hex pairs
    ClickBarButton(res::IDC_AUTORESP);
    CAutoResponseDlg* responder = Frame()->AutoResponseWindow();
    Type(responder->InBox(1), QStringLiteral("aabb"));
    Type(responder->OutBox(1), QStringLiteral("0304"));
    Click(responder, 1004);
    ASSERT_TRUE(PumpUntil([&] { return Frame()->m_bResponderActive == 1; }));

    Doc()->m_mapAutoSend["1005"] = "01 02";
    ClickBarButton(res::IDC_AUTOSEND);
    Click(Frame()->AutoSendWindow(), 1004);
    // 01 02 out, AA BB from the device, 03 04 answered, 03 04 echoed back.
    ASSERT_TRUE(PumpUntil([&] { return ViewText().count(QStringLiteral("03 04")) >= 2; }))
        << ViewText().toStdString();
    const QString text = ViewText();
    EXPECT_LT(text.indexOf(QStringLiteral("01 02")), text.indexOf(QStringLiteral("AA BB")));
    EXPECT_LT(text.indexOf(QStringLiteral("AA BB")), text.indexOf(QStringLiteral("03 04")));
}

}  // namespace
