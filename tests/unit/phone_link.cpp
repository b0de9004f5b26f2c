// test-links: cw_shell
// The phone's movie folder from the suite's INI files, the copy through the
// host's phone-link object, the device-name list from the registry, and the
// host's phone facts.
#include "export/phone_link.h"
#include "config/registry.h"
#include "config/resources.h"
#include "platform/c_handles.h"
#include "platform/ini_file.h"
#include "shell/host_phone_facts.h"
#include "test_util.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

// The host's phone-link object as the host provides it.
class PhoneLink : public QObject {
    Q_OBJECT
public:
    int result = 1;
    QStringList calls;
    Q_INVOKABLE int SendFile(QString local, QString remote)
    {
        calls << local + " -> " + remote;
        return result;
    }
};

class PhoneFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSuiteValue("INIDIR", dir.path());
        SetSuiteValue("ORVT_DEFAULT_MODELNAME", "tx-07");
        SetSuiteValue("ORVT_DISPLAY_MODELNAME", "TX-07");
    }
    QString StringIni() const { return dir.filePath("string.ini"); }
    QString ModelIni() const { return dir.filePath("TX-07.ini"); }
    void Write(const QString& path, const QString& section, const QString& value)
    {
        ASSERT_TRUE(ini::WritePrivateProfileString(section, "CAMCORDER0", value, path));
    }
    void Touch(const QString& path) { ASSERT_TRUE(ini::WritePrivateProfileString("X", "Y", QString("1"), path)); }

    TempRegistry registry;
    QTemporaryDir dir;
    PhoneLink link;
};

TEST_F(PhoneFolder, ModelIniEntryWithCommaPrefix)
{
    Touch(StringIni());
    Write(ModelIni(), "ORVT_DEVICE_FOLDER_INFO", "2,\\Storage Card\\Movies");
    EXPECT_EQ(PhoneMovieFolder(), "\\Storage Card\\Movies\\");
    EXPECT_TRUE(SendToPhone(&link, "/tmp/a.3gp", "a.3gp"));
    EXPECT_EQ(link.calls, QStringList { "/tmp/a.3gp -> \\Storage Card\\Movies\\a.3gp" });
}

TEST_F(PhoneFolder, FolderValuesKeepTheirSeparator)
{
    Touch(StringIni());
    Write(ModelIni(), "ORVT_DEVICE_FOLDER_INFO", "\\My Documents\\Movies\\");
    EXPECT_EQ(PhoneMovieFolder(), "\\My Documents\\Movies\\");
    Write(ModelIni(), "ORVT_DEVICE_FOLDER_INFO", "/Movies");
    EXPECT_EQ(PhoneMovieFolder(), "/Movies/");
    // A comma at the start is no prefix.
    Write(ModelIni(), "ORVT_DEVICE_FOLDER_INFO", ",Movies/");
    EXPECT_EQ(PhoneMovieFolder(), ",Movies/");
}

TEST_F(PhoneFolder, StringIniFallbackOnlyWithoutModelIni)
{
    Write(StringIni(), "ORVT_DEVICE_FOLDER_INFO_TX-07", "1,\\Video");
    EXPECT_EQ(PhoneMovieFolder(), "\\Video\\");

    // A model INI file without the entry: no fallback, the send fails.
    Touch(ModelIni());
    EXPECT_EQ(PhoneMovieFolder(), "");
    EXPECT_FALSE(SendToPhone(&link, "/tmp/a.3gp", "a.3gp"));
    EXPECT_TRUE(link.calls.isEmpty());
}

TEST_F(PhoneFolder, NoStringIniMeansNoFolder)
{
    Write(ModelIni(), "ORVT_DEVICE_FOLDER_INFO", "\\Video");
    EXPECT_EQ(PhoneMovieFolder(), "");
    EXPECT_FALSE(SendToPhone(&link, "/tmp/a.3gp", "a.3gp"));
}

TEST_F(PhoneFolder, SendFailsWithoutLinkOrOnHostFailure)
{
    Touch(StringIni());
    Write(ModelIni(), "ORVT_DEVICE_FOLDER_INFO", "\\Video");
    EXPECT_FALSE(SendToPhone(nullptr, "/tmp/a.3gp", "a.3gp"));
    link.result = 0;
    EXPECT_FALSE(SendToPhone(&link, "/tmp/a.3gp", "a.3gp"));
    link.result = -3;
    EXPECT_FALSE(SendToPhone(&link, "/tmp/a.3gp", "a.3gp"));
    QObject noMethod;
    EXPECT_FALSE(SendToPhone(&noMethod, "/tmp/a.3gp", "a.3gp"));
    EXPECT_EQ(link.calls.size(), 2);
}

// ---------------------------------------------------------------------------

QString MobileDeviceText(QString section, QString key)
{
    return section == "MEDIAEXPLORER" && key == "MOBILE_DEVICE" ? "Mobile Phone" : QString();
}

void WriteKey(CRegistry& reg, const QString& key, const QList<std::pair<QString, QString>>& values)
{
    ASSERT_TRUE(reg.OpenKey(key));
    for (const auto& [name, value] : values)
        ASSERT_TRUE(reg.WriteString(name, value));
    reg.CloseKey();
}

class DeviceNames : public ::testing::Test {
protected:
    void SetUp() override { SetSuiteValue("ORVT_DEFAULT_MODELNAME", "tx-07"); }
    QString Collect() { return CollectDeviceNames(ResourceLookup(&MobileDeviceText, nullptr)); }
    TempRegistry registry;
    CRegistryHCU user;
    CRegistry machine;
};

TEST_F(DeviceNames, FixedItemsOnly)
{
    EXPECT_EQ(Collect(), "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07");
}

TEST_F(DeviceNames, FirstPartnerThatNamesItsDeviceWins)
{
    const QString partners = "Microsoft\\Windows CE Services\\Partners\\";
    WriteKey(user, partners + "p0", { { "Other", "x" } });
    WriteKey(user, partners + "p1", { { "DeviceManufacturer", "" }, { "DisplayName", "Pocket One" } });
    WriteKey(user, partners + "p2", { { "DeviceManufacturer", "Acme" }, { "DeviceModel", "X1" } });
    EXPECT_EQ(Collect(), "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07;POCKET ONE");
}

TEST_F(DeviceNames, ManufacturerWithModelAndPortableDevice)
{
    const QString partners = "Microsoft\\Windows CE Services\\Partners\\";
    WriteKey(user, partners + "p2", { { "DeviceManufacturer", "Acme" }, { "DeviceModel", "X1" } });
    WriteKey(user, "Microsoft\\Windows CE Services", { { "DeviceHardwareId", "{abc-1}" } });
    const QString devices = "Microsoft\\Windows Portable Devices\\Devices\\";
    WriteKey(machine, devices + "usb#vid_1&other", { { "FriendlyName", "Not Me" } });
    WriteKey(machine, devices + "usb#vid_2&ABC-1&01", { { "FriendlyName", "Galaxy" } });
    WriteKey(machine, devices + "usb#vid_3&abc-1&02", { { "FriendlyName", "Second" } });
    const QString names = Collect();
    EXPECT_EQ(names, "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07;ACME X1;GALAXY");

    EXPECT_TRUE(IsConnectedDeviceName(names, "windows mobile device"));
    EXPECT_TRUE(IsConnectedDeviceName(names, "Galaxy")); // the last item
    EXPECT_TRUE(IsConnectedDeviceName(names, "mobile phone")); // the first
    EXPECT_FALSE(IsConnectedDeviceName(names, "Galax"));
    EXPECT_FALSE(IsConnectedDeviceName(names, "ACME"));
}

TEST_F(DeviceNames, OversizedValuesAreSkipped)
{
    const QString partners = "Microsoft\\Windows CE Services\\Partners\\";
    // 200 characters are 402 bytes with the terminator: more than a read takes.
    WriteKey(user, partners + "p1", { { "DeviceManufacturer", QString(200, 'M') } });
    WriteKey(user, partners + "p2", { { "DisplayName", "Fits" } });
    EXPECT_EQ(Collect(), "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07;FITS");
}

// ---------------------------------------------------------------------------

TEST(HostPhone, FactsComeFromTheHostMainWindow)
{
    EXPECT_EQ(ReadHostPhoneFacts().phoneLink, nullptr);
    QWidget host;
    PhoneLink link;
    host.setProperty(kHostPhoneLinkProperty, QVariant::fromValue<QObject*>(&link));
    host.setProperty(kHostPhoneConnectedProperty, true);
    host.setProperty(kHostPhoneHandleProperty, qulonglong(42));
    host.setProperty(kHostCommLibraryProperty, QString("/no/such/comm.so"));
    QWidget child(&host);
    const HostPhoneFacts facts = ReadHostPhoneFacts(&child);
    EXPECT_EQ(facts.phoneLink, &link);
    EXPECT_TRUE(facts.connected);
    EXPECT_EQ(facts.handle, 42u);
    EXPECT_EQ(facts.commLibrary, "/no/such/comm.so");
    EXPECT_EQ(FindHostMainWindow(), &host);
}

TEST(HostPhone, CommLibraryCallNeedsLibraryAndExport)
{
    EXPECT_FALSE(CallCommLibrary("", 1, nullptr, nullptr, "/tmp/x.avi").has_value());
    EXPECT_FALSE(CallCommLibrary("/no/such/comm.so", 1, nullptr, nullptr, "/tmp/x.avi").has_value());
    // A library without the export.
    EXPECT_FALSE(CallCommLibrary("libm.so.6", 1, nullptr, nullptr, "/tmp/x.avi").has_value());
}

TEST(HostPhone, CommLibraryHandOverReachesTheHostsPhone)
{
    const QString path = CW_BUILD_DIR "/lib/libcw_comm.so";
    const DlHandle comm(dlopen(QFile::encodeName(path).constData(), RTLD_NOW));
    if (!comm)
        GTEST_SKIP() << "the reference host's comm library is not built";
    using ConnectFn = void (*)(qulonglong, QString);
    auto connect = reinterpret_cast<ConnectFn>(dlsym(comm.get(), "CwCommConnect"));
    ASSERT_NE(connect, nullptr);
    QTemporaryDir dir;
    connect(7, dir.filePath("phone"));
    QFile avi(dir.filePath("MS_AVI_VIDEO.avi"));
    ASSERT_TRUE(avi.open(QIODevice::WriteOnly));
    avi.write("RIFF");
    avi.close();

    EXPECT_EQ(CallCommLibrary(path, 7, nullptr, nullptr, avi.fileName()), 1);
    EXPECT_TRUE(QFile::exists(dir.filePath("phone/MS_AVI_VIDEO.avi")));
    // An unknown connection: the export reports failure.
    EXPECT_EQ(CallCommLibrary(path, 8, nullptr, nullptr, avi.fileName()), 0);
    connect(7, QString());
}

} // namespace

#include "phone_link.moc"
