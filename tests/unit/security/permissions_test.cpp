// Who may do what to the objects we make: the rights our descriptors give users,
// and which owners and ACEs let a user change a program that runs as the system.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "security/permissions.h"

namespace {

// The rights of every "(A;flags;RIGHTS;;;sid)" ACE of sddl for that SID, joined.
std::string RightsOf(const std::string &sddl, const std::string &sid) {
    std::string rights;
    for (size_t at = sddl.find('('); at != std::string::npos; at = sddl.find('(', at + 1)) {
        const std::string ace = sddl.substr(at + 1, sddl.find(')', at) - at - 1);
        std::vector<std::string> fields;
        for (size_t from = 0, semi;; from = semi + 1) {
            semi = ace.find(';', from);
            fields.push_back(ace.substr(from, semi - from));
            if (semi == std::string::npos)
                break;
        }
        if (fields.size() == 6 && fields[0] == "A" && fields[5] == sid)
            rights += fields[2];
    }
    return rights;
}

bool HasRight(const std::string &rights, const std::string &right) {
    for (size_t i = 0; i + 1 < rights.size(); i += 2)
        if (rights.compare(i, 2, right) == 0)
            return true;
    return false;
}

TEST(SecurityDescriptors, UsersMayStartTheServiceAndSeeTheMutexButNothingMore) {
    const struct {
        const char *object, *sddl, *sid;
        std::string rights; // exactly what that SID is given
    } cases[] = {
        {"service", kServiceSddl, "IU", "CCLCRPLORC"}, // query, start, interrogate
        {"service", kServiceSddl, "SU", "CCLCRPLORC"},
        {"service", kServiceSddl, "WD", ""},
        {"service", kServiceSddl, "BU", ""},
        {"mutex", kInstanceMutexSddl, "WD", "RC"},
        {"mutex", kInstanceMutexSddlNoOwner, "WD", "RC"},
        {"mutex", kInstanceMutexSddl, "IU", ""},
        {"Safe Mode entry", kSafeBootKeySddl, "BU", "KR"}, // read only
        {"Safe Mode entry", kSafeBootKeySddl, "IU", ""},
        {"Safe Mode entry", kSafeBootKeySddl, "WD", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.rights, RightsOf(c.sddl, c.sid)) << c.object << " " << c.sid;
    // Stop, pause, our own control, configuration, delete, DACL and owner: theirs alone.
    for (const char *admin : {"SY", "BA"})
        for (const char *right : {"WP", "DT", "CR", "DC", "SD", "WD", "WO", "RP"})
            EXPECT_TRUE(HasRight(RightsOf(kServiceSddl, admin), right)) << admin << " " << right;
    EXPECT_EQ(0u, std::string(kInstanceMutexSddl).find("O:BAD:P(")); // no inherited ACE
}

TEST(ProgramSecurity, OnlyTheSystemAndAdministratorsMayChangeIt) {
    using P = Principal;
    const DWORD readExecute = 0x1200a9, full = 0x1f01ff;
    const struct {
        const char *what;
        ObjectSecurity security;
        bool usersMayChange;
    } cases[] = {
        {"Program Files", {false, P::TrustedInstaller,
                           {{true, false, full, P::System}, {true, false, full, P::Administrators},
                            {true, false, readExecute, P::Other}}}, false},
        {"made by the installing administrator", {false, P::Installer,
                           {{true, false, full, P::Installer}, {true, false, readExecute, P::Other}}},
         false},
        {"a null DACL", {true, P::System, {}}, true},
        {"owned by a user", {false, P::Other, {{true, false, full, P::System}}}, true},
        {"no owner", {false, P::Nobody, {}}, true},
        {"users may add files (C:\\ folders)", {false, P::Administrators,
                           {{true, false, 0x4 /* FILE_ADD_SUBDIRECTORY */, P::Other}}}, true},
        {"users may delete children", {false, P::System, {{true, false, 0x40, P::Other}}}, true},
        {"users get GENERIC_WRITE", {false, P::System, {{true, false, 0x40000000, P::Other}}}, true},
        {"users may change the DACL", {false, P::System, {{true, false, 0x40000, P::Other}}}, true},
        {"only for what is made inside", {false, P::System, {{true, true, full, P::Other}}}, false},
        {"a deny is never read as a grant", {false, P::System, {{false, false, full, P::Other}}},
         false},
        {"attributes only", {false, P::System, {{true, false, 0x100 | 0x10, P::Other}}}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.usersMayChange, LetsUsersChange(c.security)) << c.what;
}

TEST(ProgramSecurity, OnlyTheSystemOwnsOurMutex) {
    for (Principal p : {Principal::System, Principal::Administrators, Principal::Nobody})
        EXPECT_TRUE(IsSystemOwner(p));
    for (Principal p : {Principal::Other, Principal::Installer, Principal::TrustedInstaller})
        EXPECT_FALSE(IsSystemOwner(p));
}

// Each chain as Windows 10 has it by default, and changed one folder at a time.
TEST(ProgramSecurity, EveryFolderAboveIsTheAdministrators) {
    using P = Principal;
    const DWORD full = 0x1f01ff, modify = 0x1301bf, readExecute = 0x1200a9;
    const ObjectSecurity root{false, P::TrustedInstaller,
                              {{true, false, full, P::System}, {true, false, full, P::Administrators},
                               {true, false, readExecute, P::Other},
                               {true, true, modify, P::Other}, // what users make inside
                               {true, false, 0x4, P::Other}}}; // users may add folders
    const ObjectSecurity programFiles{false, P::TrustedInstaller,
                                      {{true, false, full, P::TrustedInstaller},
                                       {true, false, modify, P::System},
                                       {true, false, modify, P::Administrators},
                                       {true, false, readExecute, P::Other}}};
    const ObjectSecurity madeUnderRoot{false, P::Administrators,
                                       {{true, false, full, P::System},
                                        {true, false, full, P::Administrators},
                                        {true, false, modify, P::Other}}};
    auto with = [](ObjectSecurity s, AceView ace) {
        s.aces.push_back(ace);
        return s;
    };
    using Chain = std::map<std::string, ObjectSecurity>; // a folder missing can't be read
    const struct {
        const char *program;
        Chain chain;
        bool usersMayChange;
    } cases[] = {
        {"C:\\Program Files\\Vespra\\vesprasv.exe",
         {{"C:\\Program Files", programFiles}, {"C:\\", root}}, false},
        {"C:\\Tools\\Vespra\\vesprasv.exe", {{"C:\\Tools", madeUnderRoot}, {"C:\\", root}}, true},
        {"C:\\Tools\\Vespra\\vesprasv.exe",
         {{"C:\\Tools", programFiles}, {"C:\\", with(root, {true, false, 0x40, P::Other})}}, true},
        {"C:\\Tools\\Vespra\\vesprasv.exe",
         {{"C:\\Tools", programFiles}, {"C:\\", with(root, {true, false, 0x2, P::Other})}}, true},
        {"C:\\Tools\\Vespra\\vesprasv.exe",
         {{"C:\\Tools", with(programFiles, {true, false, 0x80000, P::Other})}, {"C:\\", root}}, true},
        {"C:\\Tools\\Vespra\\vesprasv.exe",
         {{"C:\\Tools", {false, P::Other, programFiles.aces}}, {"C:\\", root}}, true},
        {"C:\\Tools\\Vespra\\vesprasv.exe", {{"C:\\", root}}, true},
        {"C:\\a\\b\\c\\Vespra\\vesprasv.exe",
         {{"C:\\a\\b\\c", programFiles}, {"C:\\a\\b", madeUnderRoot}, {"C:\\a", programFiles},
          {"C:\\", root}},
         true},
        {"C:\\Vespra\\vesprasv.exe", {{"C:\\", root}}, false},
        {"\\\\server\\share\\Vespra\\vesprasv.exe", {{"\\\\server\\share\\", madeUnderRoot}}, true},
        {"\\\\server\\share\\Vespra\\vesprasv.exe", {{"\\\\server\\share\\", programFiles}}, false},
        {"Vespra\\vesprasv.exe", {}, true},
    };
    auto read = [](void *context, const std::string &folder, ObjectSecurity &out) {
        const Chain &chain = *static_cast<const Chain *>(context);
        const auto found = chain.find(folder);
        return found != chain.end() && (out = found->second, true);
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.usersMayChange,
                  FoldersAboveLetUsersChange(c.program, read, const_cast<Chain *>(&c.chain)))
            << c.program << " " << c.chain.size();
}

} // namespace
