// The editor's phone link working against the reference host's side: the
// host's main window properties, its phone-link object, its comm library and
// the default suite data (device folders of the model files).
// test-links: cw_host cw_shell
#include "comm/comm_library.h"
#include "config/resources.h"
#include "config/suite_settings.h"
#include "export/phone_link.h"
#include "host_window.h"
#include "phone_link.h"
#include "platform/c_handles.h"
#include "resource_tables.h"
#include "shell/host_phone_facts.h"
#include "test_util.h"

#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

const QString kSuite = QStringLiteral(CW_SUITE_DIR);

class HostPhoneLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        SetSuiteValue("INIDIR", kSuite + "/ini");
        ASSERT_TRUE(WriteFile(dir_.filePath("movie.3gp"), "phone movie"));
    }
    void useModel(const QString& model)
    {
        SetSuiteValue("ORVT_DEFAULT_MODELNAME", model);
        SetSuiteValue("ORVT_DISPLAY_MODELNAME", model);
    }
    QString phoneFile(const QString& rel) const { return dir_.filePath("phone/" + rel); }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(HostPhoneLink, SavedMovieLandsInTheModelsFolderAndTheEditorReadsTheHostsFacts)
{
    PhoneLink phone(dir_.filePath("phone"), true);
    const struct {
        const char* model;
        const char* expected;
    } cases[] = {
        { "TX-07", "Movies/movie.3gp" }, // model file, "1,/Movies"
        { "TX-35", "My Documents/Movies/movie.3gp" }, // model file, trailing separator
        { "ZT-500", "DCIM/Movies/movie.3gp" }, // model file, "2,/DCIM/Movies"
        { "TX-31", "Storage Card/Movies/movie.3gp" }, // no model file: string.ini
    };
    for (const auto& c : cases) {
        useModel(c.model);
        EXPECT_TRUE(SendToPhone(&phone, dir_.filePath("movie.3gp"), "movie.3gp")) << c.model;
        EXPECT_TRUE(QFileInfo::exists(phoneFile(c.expected))) << c.model << " -> " << c.expected;
    }
    useModel("QQ-1"); // neither a model file nor a string.ini entry
    EXPECT_FALSE(SendToPhone(&phone, dir_.filePath("movie.3gp"), "movie.3gp"));

    // The editor reads the host window and texts and hands over through the
    // comm library.
    const QString comm = QStringLiteral(CW_BUILD_DIR) + "/lib/libcw_comm.so";
    // The host keeps its comm module loaded for the whole run.
    const DlHandle module(dlopen(QFile::encodeName(comm).constData(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(module) << dlerror();
    reinterpret_cast<CwCommConnectFn>(dlsym(module.get(), "CwCommConnect"))(phone.handle(), phone.folder());

    HostWindow window(&phone, comm);
    const HostPhoneFacts facts = ReadHostPhoneFacts();
    EXPECT_EQ(facts.phoneLink.data(), &phone);
    EXPECT_TRUE(facts.connected);
    EXPECT_EQ(facts.handle, phone.handle());
    EXPECT_EQ(facts.commLibrary, comm);

    const QString avi = dir_.filePath("MS_AVI_VIDEO.avi");
    ASSERT_TRUE(WriteFile(avi, "RIFF"));
    EXPECT_NE(CallCommLibrary(facts.commLibrary, facts.handle, HostTextLookup, HostImageLookup, avi).value_or(0), 0);
    EXPECT_TRUE(QFileInfo::exists(phoneFile("MS_AVI_VIDEO.avi")));
    EXPECT_EQ(CallCommLibrary(facts.commLibrary, 0, HostTextLookup, HostImageLookup, avi), 0);

    // The device names come from the host's texts.
    HostResources tables;
    ASSERT_TRUE(tables.load(kSuite + "/tables", "EN"));
    SetHostResources(&tables);
    useModel("tx-07");
    const ResourceLookup lookup(HostTextLookup, HostImageLookup);
    const QString names = CollectDeviceNames(lookup);
    SetHostResources(nullptr);
    EXPECT_TRUE(IsConnectedDeviceName(names, "mobile device")) << qPrintable(names);
    EXPECT_TRUE(IsConnectedDeviceName(names, "Windows Mobile Device"));
    EXPECT_TRUE(IsConnectedDeviceName(names, "TX-07"));
    EXPECT_FALSE(IsConnectedDeviceName(names, "Documents"));
}
