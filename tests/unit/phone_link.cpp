// test-links: cw_shell
// The phone's movie folder from the suite's INI files, the copy through the
// host's phone-link object, the device-name list from the registry, and the
// host's phone facts.
#include "export/phone_link.h"
#include "config/registry.h"
#include "config/resources.h"
#include "platform/ini_file.h"
#include "shell/host_phone_facts.h"
#include "test_util.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
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
    // Writes the folder entry into path; an empty value makes the file without it.
    void Write(const QString& path, const QString& section, const char* value)
    {
        const bool entry = *value != 0;
        ASSERT_TRUE(ini::WritePrivateProfileString(entry ? section : "X", "CAMCORDER0", QString(value), path));
    }

    TempRegistry registry;
    QTemporaryDir dir;
    PhoneLink link;
};

TEST_F(PhoneFolder, FromTheModelIniElseTheStringIniAndSentThere)
{
    const struct {
        const char* stringIni; // nullptr: no file
        const char* modelIni;
        const char* folder;
    } rows[] = {
        { "", "2,\\Storage Card\\Movies", "\\Storage Card\\Movies\\" }, // what follows the comma
        { "", "\\My Documents\\Movies\\", "\\My Documents\\Movies\\" }, // the folder keeps its separator
        { "", "/Movies", "/Movies/" }, { "", ",Movies/", ",Movies/" }, // a comma at the start is no prefix
        { "1,\\Video", nullptr, "\\Video\\" }, // the string INI entry only without a model INI file
        { "1,\\Video", "", "" }, { nullptr, "\\Video", "" }, // no string INI file: no folder
    };
    const QString stringIni = dir.filePath("string.ini"), modelIni = dir.filePath("TX-07.ini");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.stringIni ? row.stringIni : "-") + " " + (row.modelIni ? row.modelIni : "-"));
        QFile::remove(stringIni);
        QFile::remove(modelIni);
        if (row.stringIni)
            Write(stringIni, "ORVT_DEVICE_FOLDER_INFO_TX-07", row.stringIni);
        if (row.modelIni)
            Write(modelIni, "ORVT_DEVICE_FOLDER_INFO", row.modelIni);
        EXPECT_EQ(PhoneMovieFolder(), row.folder);
        link.calls.clear();
        EXPECT_EQ(SendToPhone(&link, "/tmp/a.3gp", "a.3gp"), *row.folder != 0);
        const QStringList sent { QString("/tmp/a.3gp -> ") + row.folder + "a.3gp" };
        EXPECT_EQ(link.calls, *row.folder ? sent : QStringList());
    }
}

TEST_F(PhoneFolder, SendFailsWithoutLinkOrOnHostFailure)
{
    Write(dir.filePath("string.ini"), "", "");
    Write(dir.filePath("TX-07.ini"), "ORVT_DEVICE_FOLDER_INFO", "\\Video");
    QObject noMethod;
    EXPECT_FALSE(SendToPhone(nullptr, "/tmp/a.3gp", "a.3gp") || SendToPhone(&noMethod, "/tmp/a.3gp", "a.3gp"));
    for (int failure : { 0, -3 }) {
        link.result = failure;
        EXPECT_FALSE(SendToPhone(&link, "/tmp/a.3gp", "a.3gp")) << failure;
    }
    EXPECT_EQ(link.calls.size(), 2);
}

// A phone-link object that renames too: the phone's files as a map.
class RenamingLink : public QObject {
    Q_OBJECT
public:
    bool copyFails = false;
    QMap<QString, QString> phone; // path -> content
    Q_INVOKABLE int SendFile(QString local, QString remote)
    {
        if (copyFails)
            return 0;
        phone[remote] = local;
        return 1;
    }
    Q_INVOKABLE int RenameFile(QString from, QString to)
    {
        if (!phone.contains(from))
            return 0;
        phone[to] = phone.take(from);
        return 1;
    }
};

TEST_F(PhoneFolder, CopyGoesToATemporaryNameAndAFailedOneKeepsThePhonesFile)
{
    Write(dir.filePath("string.ini"), "", "");
    Write(dir.filePath("TX-07.ini"), "ORVT_DEVICE_FOLDER_INFO", "/Video");
    RenamingLink phone;
    phone.phone["/Video/a.3gp"] = "old";
    phone.copyFails = true;
    EXPECT_FALSE(SendToPhone(&phone, "new", "a.3gp"));
    EXPECT_EQ(phone.phone, (QMap<QString, QString> { { "/Video/a.3gp", "old" } }));
    phone.copyFails = false;
    EXPECT_TRUE(SendToPhone(&phone, "new", "a.3gp"));
    EXPECT_EQ(phone.phone, (QMap<QString, QString> { { "/Video/a.3gp", "new" } }));

    // Names are one path component without control characters.
    const struct {
        const char* given;
        const char* sent; // "": refused
    } names[] = { { "../../etc/x.3gp", "x.3gp" }, { "a\\..\\b.3gp", "b.3gp" }, { "c\x01\n\x7f.3gp", "c.3gp" },
        { "dir/", "" }, { "..", "" }, { "\t", "" } };
    for (const auto& n : names) {
        SCOPED_TRACE(n.given);
        EXPECT_EQ(PhoneFileName(n.given), n.sent);
        phone.phone.clear();
        EXPECT_EQ(SendToPhone(&phone, "new", n.given), *n.sent != 0);
        EXPECT_EQ(phone.phone.keys(), *n.sent ? QStringList { QString("/Video/") + n.sent } : QStringList());
    }
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
    const QString partners = "Microsoft\\Windows CE Services\\Partners\\";
    TempRegistry registry;
    CRegistryHCU user;
    CRegistry machine;
};

TEST_F(DeviceNames, FirstPartnerThatNamesItsDeviceWins)
{
    WriteKey(user, partners + "p0", { { "Other", "x" } });
    WriteKey(user, partners + "p1", { { "DeviceManufacturer", "" }, { "DisplayName", "Pocket One" } });
    WriteKey(user, partners + "p2", { { "DeviceManufacturer", "Acme" }, { "DeviceModel", "X1" } });
    EXPECT_EQ(Collect(), "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07;POCKET ONE");
}

TEST_F(DeviceNames, ManufacturerWithModelAndPortableDevice)
{
    WriteKey(user, partners + "p2", { { "DeviceManufacturer", "Acme" }, { "DeviceModel", "X1" } });
    WriteKey(user, "Microsoft\\Windows CE Services", { { "DeviceHardwareId", "{abc-1}" } });
    const QString devices = "Microsoft\\Windows Portable Devices\\Devices\\";
    WriteKey(machine, devices + "usb#vid_1&other", { { "FriendlyName", "Not Me" } });
    WriteKey(machine, devices + "usb#vid_2&ABC-1&01", { { "FriendlyName", "Galaxy" } });
    WriteKey(machine, devices + "usb#vid_3&abc-1&02", { { "FriendlyName", "Second" } });
    const QString names = Collect();
    EXPECT_EQ(names, "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07;ACME X1;GALAXY");

    // Whole items only, the first and the last included.
    for (const auto& [name, listed] : { std::pair { "windows mobile device", true }, std::pair { "Galaxy", true },
             std::pair { "mobile phone", true }, std::pair { "Galax", false }, std::pair { "ACME", false } })
        EXPECT_EQ(IsConnectedDeviceName(names, name), listed) << name;
}

TEST_F(DeviceNames, OversizedValuesAreSkipped)
{
    // 200 characters are 402 bytes with the terminator: more than a read takes.
    WriteKey(user, partners + "p1", { { "DeviceManufacturer", QString(200, 'M') } });
    WriteKey(user, partners + "p2", { { "DisplayName", "Fits" } });
    EXPECT_EQ(Collect(), "MOBILE PHONE;WINDOWS MOBILE DEVICE;TX-07;FITS");
}

// ---------------------------------------------------------------------------

// The facts read from the host's main window, and the hand-over through its
// comm library: e2e/host_phone.cpp (and ui/shell_frame.cpp from the frame's
// window); without a host there are none.
TEST(HostPhone, NoHostNoFactsAndTheCommLibraryNeedsItsExport)
{
    EXPECT_EQ(ReadHostPhoneFacts().phoneLink, nullptr);
    EXPECT_FALSE(CallCommLibrary("", 1, nullptr, nullptr, "/tmp/x.avi").has_value());
    EXPECT_FALSE(CallCommLibrary("/no/such/comm.so", 1, nullptr, nullptr, "/tmp/x.avi").has_value());
    // A library without the export.
    EXPECT_FALSE(CallCommLibrary("libm.so.6", 1, nullptr, nullptr, "/tmp/x.avi").has_value());
}

} // namespace

#include "phone_link.moc"
