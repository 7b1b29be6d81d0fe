// The Service Control Manager through the Win32 API alone: services made for each case and
// deleted again, so that the cases run alike over the layer, under Wine and on Windows.
#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char SERVICE_NAME[] = "PallwickTestService";
const char OTHER_NAME[] = "pallwickTestOther";
const char IMAGE_PATH[] = "C:\\windows\\system32\\pallwick-test.exe -k netsvcs";
const char DISPLAY_NAME[] = "Pallwick Test Service";
const char DESCRIPTION[] = "Answers the manager's questions in tests";

// The manager's order compares the lower-case forms of the names.
std::string Lower(std::string text) {
    for (char& c : text) {
        c = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    }
    return text;
}

class ServiceManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager_) << GetLastError();
        Delete(SERVICE_NAME);
        Delete(OTHER_NAME);
    }
    void TearDown() override {
        Delete(SERVICE_NAME);
        Delete(OTHER_NAME);
        CloseServiceHandle(manager_);
    }

    void Delete(const char* name) {
        SC_HANDLE service = OpenServiceA(manager_, name, DELETE);
        if (service != nullptr) {
            DeleteService(service);
            CloseServiceHandle(service);
        }
    }

    SC_HANDLE Create(const char* name, DWORD type = SERVICE_WIN32_OWN_PROCESS,
                     const char* description = DESCRIPTION) {
        SC_HANDLE service = CreateServiceA(manager_, name, DISPLAY_NAME, SERVICE_ALL_ACCESS, type,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, IMAGE_PATH,
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, service) << GetLastError();
        if (service != nullptr && description != nullptr) {
            SERVICE_DESCRIPTIONA info = {const_cast<char*>(description)};
            EXPECT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &info));
        }
        return service;
    }

    // The whole list for the type mask the agent uses, with the name and state of each entry.
    std::vector<std::pair<std::string, DWORD>> Enumerate(DWORD bufferSize, DWORD* calls) {
        std::vector<std::pair<std::string, DWORD>> names;
        std::vector<BYTE> buffer(bufferSize > 0 ? bufferSize : 1);
        DWORD resume = 0;
        for (*calls = 0; *calls < 10000; ++*calls) {
            DWORD needed = 0, returned = 0;
            BOOL done = EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, 0x1FF,
                                              SERVICE_STATE_ALL, buffer.data(), bufferSize, &needed,
                                              &returned, &resume, nullptr);
            EXPECT_TRUE(done || GetLastError() == ERROR_MORE_DATA) << GetLastError();
            auto* entries = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
            for (DWORD i = 0; i < returned; ++i) {
                names.emplace_back(entries[i].lpServiceName,
                                   entries[i].ServiceStatusProcess.dwCurrentState);
            }
            if (done || (returned == 0 && resume == 0)) {
                break;
            }
        }
        return names;
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(ServiceManagerTest, CreatedServiceReadsBackWithItsDescription) {
    SC_HANDLE created = Create(SERVICE_NAME);
    ASSERT_NE(nullptr, created);
    CloseServiceHandle(created);

    SC_HANDLE service =
        OpenServiceA(manager_, "pallwicktestservice", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, service) << GetLastError();
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    ASSERT_GT(needed, sizeof(QUERY_SERVICE_CONFIGA) + strlen(IMAGE_PATH) + strlen(DISPLAY_NAME));
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigA(service, config, needed, &needed)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, config->dwServiceType);
    EXPECT_EQ((DWORD)SERVICE_DEMAND_START, config->dwStartType);
    EXPECT_STREQ(IMAGE_PATH, config->lpBinaryPathName);
    EXPECT_STREQ(DISPLAY_NAME, config->lpDisplayName);
    EXPECT_STREQ("LocalSystem", config->lpServiceStartName);

    std::vector<BYTE> description(4096);
    ASSERT_TRUE(QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, description.data(),
                                     (DWORD)description.size(), &needed));
    EXPECT_STREQ(DESCRIPTION,
                 reinterpret_cast<SERVICE_DESCRIPTIONA*>(description.data())->lpDescription);

    SERVICE_STATUS status = {};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, status.dwCurrentState);
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, status.dwServiceType);
    CloseServiceHandle(service);
}

TEST_F(ServiceManagerTest, BuffersTooSmallReportTheSizeThatIsEnough) {
    SC_HANDLE service = Create(SERVICE_NAME);
    ASSERT_NE(nullptr, service);
    std::vector<BYTE> buffer(sizeof(QUERY_SERVICE_CONFIGA));
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(service,
                                     reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                     (DWORD)buffer.size(), &needed));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    buffer.resize(needed);
    EXPECT_TRUE(QueryServiceConfigA(
        service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()), needed, &needed));

    EXPECT_FALSE(QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_GE(needed, sizeof(SERVICE_DESCRIPTIONA) + sizeof DESCRIPTION);
    buffer.assign(needed, 0xCC);
    EXPECT_TRUE(
        QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(), needed, &needed));
    EXPECT_STREQ(DESCRIPTION,
                 reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data())->lpDescription);

    // An empty description removes it: the information then fits in its bare structure.
    SERVICE_DESCRIPTIONA none = {const_cast<char*>("")};
    ASSERT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &none));
    buffer.assign(sizeof(SERVICE_DESCRIPTIONA), 0xCC);
    EXPECT_TRUE(QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                     (DWORD)buffer.size(), &needed))
        << GetLastError();
    EXPECT_EQ(nullptr, reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data())->lpDescription);
    CloseServiceHandle(service);
}

TEST_F(ServiceManagerTest, EnumerationReportsTheBytesItNeedsThenListsEveryService) {
    CloseServiceHandle(Create(SERVICE_NAME));
    DWORD needed = 0, returned = 0, resume = 0;
    EXPECT_FALSE(EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL,
                                       nullptr, 0, &needed, &returned, &resume, nullptr));
    EXPECT_EQ(ERROR_MORE_DATA, GetLastError());
    EXPECT_EQ(0u, returned);
    EXPECT_GT(needed, sizeof(ENUM_SERVICE_STATUS_PROCESSA) + sizeof SERVICE_NAME);
    DWORD calls = 0;
    auto whole = Enumerate(needed, &calls);
    EXPECT_EQ(0u, calls);
    auto found = std::find(whole.begin(), whole.end(),
                           std::make_pair(std::string(SERVICE_NAME), (DWORD)SERVICE_STOPPED));
    EXPECT_NE(whole.end(), found);
}

// Windows lists every service sorted by name; Wine's manager appends a service created while it
// runs after those it loaded, and answers a short buffer without resuming.
TEST_F(ServiceManagerTest, EnumerationIsSortedAndResumesWhereTheBufferEnded) {
    CloseServiceHandle(Create(SERVICE_NAME));
    CloseServiceHandle(Create(OTHER_NAME, SERVICE_KERNEL_DRIVER, nullptr));
    DWORD calls = 0;
    auto whole = Enumerate(64 * 1024, &calls);
    auto pieces = Enumerate(sizeof(ENUM_SERVICE_STATUS_PROCESSA) + 2 * 64, &calls);
    EXPECT_GT(calls, 0u);
    EXPECT_EQ(whole, pieces);

    std::vector<std::string> names;
    for (const auto& entry : whole) {
        names.push_back(entry.first);
    }
    for (size_t i = 1; i < names.size(); ++i) {
        EXPECT_LT(Lower(names[i - 1]), Lower(names[i])) << names[i - 1] << " before " << names[i];
    }
    // Mixed case sorts as one case: "pallwickTestOther" before "PallwickTestService".
    auto other = std::find(names.begin(), names.end(), OTHER_NAME);
    auto service = std::find(names.begin(), names.end(), SERVICE_NAME);
    ASSERT_NE(names.end(), other);
    ASSERT_NE(names.end(), service);
    EXPECT_EQ(other + 1, service);
}

TEST_F(ServiceManagerTest, MissingAndMalformedNamesAreRefused) {
    EXPECT_EQ(nullptr, OpenServiceA(manager_, "PallwickNoSuchService", SERVICE_QUERY_STATUS));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, GetLastError());
    EXPECT_EQ(nullptr, OpenServiceA(manager_, "Pallwick\\Test", SERVICE_QUERY_STATUS));
    EXPECT_EQ(ERROR_INVALID_NAME, GetLastError());
    EXPECT_EQ(nullptr, OpenServiceA(manager_, "", SERVICE_QUERY_STATUS));
    EXPECT_EQ(ERROR_INVALID_NAME, GetLastError());

    SC_HANDLE service = Create(SERVICE_NAME);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(nullptr,
              CreateServiceA(manager_, SERVICE_NAME, nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             IMAGE_PATH, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SERVICE_EXISTS, GetLastError());
    CloseServiceHandle(service);
}

TEST_F(ServiceManagerTest, HandlesGrantOnlyTheAccessAskedFor) {
    CloseServiceHandle(Create(SERVICE_NAME));
    SC_HANDLE service = OpenServiceA(manager_, SERVICE_NAME, SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, service);
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    SERVICE_STATUS status = {};
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    CloseServiceHandle(service);
}

TEST_F(ServiceManagerTest, DeletedServiceGoesWithItsLastHandle) {
    SC_HANDLE service = Create(SERVICE_NAME);
    ASSERT_NE(nullptr, service);
    ASSERT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(ERROR_SERVICE_MARKED_FOR_DELETE, GetLastError());
    CloseServiceHandle(service);

    EXPECT_EQ(nullptr, OpenServiceA(manager_, SERVICE_NAME, SERVICE_QUERY_STATUS));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, GetLastError());
    DWORD calls = 0;
    for (const auto& entry : Enumerate(64 * 1024, &calls)) {
        EXPECT_NE(SERVICE_NAME, entry.first);
    }
}

// Display names and descriptions that point into a PE file's string tables ("@<file>,-<id>"), as
// Windows' own services keep theirs.
class IndirectTextTest : public ServiceManagerTest {
  protected:
    static std::string Strings(const char* rest) {
        return std::string("@") + PALLWICK_STRING_FIXTURES + "\\ServiceStrings.dll" + rest;
    }

    SC_HANDLE CreateWithTexts(const std::string& display, const std::string& description) {
        SC_HANDLE service =
            CreateServiceA(manager_, SERVICE_NAME, display.c_str(), SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           IMAGE_PATH, nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, service) << GetLastError();
        SERVICE_DESCRIPTIONA info = {const_cast<char*>(description.c_str())};
        EXPECT_TRUE(service != nullptr &&
                    ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &info));
        return service;
    }

    // The display name the enumeration lists for the test service.
    std::string ListedDisplayName() {
        DWORD needed = 0, returned = 0, resume = 0;
        EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, nullptr, 0,
                              &needed, &returned, &resume, nullptr);
        std::vector<BYTE> buffer(needed);
        resume = 0;
        EXPECT_TRUE(EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL,
                                          buffer.data(), needed, &needed, &returned, &resume,
                                          nullptr))
            << GetLastError();
        auto* entries = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
        for (DWORD i = 0; i < returned; ++i) {
            if (strcmp(entries[i].lpServiceName, SERVICE_NAME) == 0) {
                return entries[i].lpDisplayName != nullptr ? entries[i].lpDisplayName : "(null)";
            }
        }
        return "(not listed)";
    }

    static std::string ConfiguredDisplayName(SC_HANDLE service) {
        DWORD needed = 0;
        EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
        std::vector<BYTE> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        EXPECT_TRUE(QueryServiceConfigA(service, config, needed, &needed)) << GetLastError();
        return config->lpDisplayName != nullptr ? config->lpDisplayName : "(null)";
    }

    // The description, or the error of the query when it fails (asked first without a buffer).
    static std::string Description(SC_HANDLE service, DWORD* error) {
        DWORD needed = 0;
        *error = ERROR_SUCCESS;
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            *error = GetLastError();
            return "";
        }
        std::vector<BYTE> buffer(needed);
        if (!QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(), needed,
                                  &needed)) {
            *error = GetLastError();
            return "";
        }
        const char* text = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data())->lpDescription;
        // Enough for the text given, not for the stored value (Windows asks for more than the
        // ANSI text takes, so only the lower bound holds everywhere).
        EXPECT_GE(needed, sizeof(SERVICE_DESCRIPTIONA) + (text != nullptr ? strlen(text) + 1 : 0));
        return text != nullptr ? text : "(null)";
    }
};

TEST_F(IndirectTextTest, NamesAndDescriptionsAreTheStringsTheyPointTo) {
    SC_HANDLE service = CreateWithTexts(Strings(",-1"), Strings(",-2;what the service does"));
    ASSERT_NE(nullptr, service);
    EXPECT_EQ("Pallwick Fixture Service", ListedDisplayName());
    EXPECT_EQ("Pallwick Fixture Service", ConfiguredDisplayName(service));
    DWORD error = 0;
    EXPECT_EQ("Caf\xE9 service, O edition", Description(service, &error));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, error);
    CloseServiceHandle(service);
}

// Without its file, or its string, the name is the stored value and the description cannot be had.
TEST_F(IndirectTextTest, AMissingFileOrStringLeavesTheNameAndFailsTheDescription) {
    std::string missing = std::string("@") + PALLWICK_STRING_FIXTURES + "\\NoSuchFile.dll,-1";
    SC_HANDLE service = CreateWithTexts(missing, missing);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(missing, ListedDisplayName());
    EXPECT_EQ(missing, ConfiguredDisplayName(service));
    DWORD error = 0;
    Description(service, &error);
    EXPECT_EQ((DWORD)ERROR_MUI_FILE_NOT_FOUND, error);
    CloseServiceHandle(service);

    Delete(SERVICE_NAME);
    service = CreateWithTexts(Strings(",-40"), Strings(",-40"));
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(Strings(",-40"), ConfiguredDisplayName(service));
    Description(service, &error);
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, error);
    CloseServiceHandle(service);
}

} // namespace
