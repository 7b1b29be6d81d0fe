"""The check of the library's texts, on a small tree of its own: what it counts as a text, and
that it notices a text that changes, appears, goes, or leaves the log."""
import os
import shutil
import sys
import tempfile
import unittest

# The test runs from the source tree, which keeps no compiled modules.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_texts  # noqa: E402

AGENT = r'''#include "Common/Log.h" // the names of includes are no texts
#define LOG_SOURCE "InventoryAgents\\Agent\\Agent"
#define CLASS_TEXT "class 'Thing'"
static_assert(sizeof(int) == 4, "read by the compiler alone");
extern "C" int Export();
namespace {
constexpr char kName[] = "Operation";
const char* const kStates[] = {"Stopped", "Started"}; // "a comment"
} // namespace
int Export() {
    /* "a block
        comment" */
    LOG_AT(kLogError, kName, "Instance doesnot exist");
    LOG_AT(kLogInfo, kName, "Field '%s' missing in "
                            CLASS_TEXT, kStates[1]);
    LOG_ASSERT_FAILED(kName, "env != NULL");
    char quote = '"';
    return printf("%s\t \n", kStates[quote == 0]);
}
'''

LIST = r'''# head
[InventoryAgents/Agent/Agent.cpp]
record "InventoryAgents\\Agent\\Agent"
piece "class 'Thing'"
record "Operation"
result "Stopped"
result "Started"
log "Instance doesnot exist"
log "Field '%s' missing in class 'Thing'"
assert "env != NULL"
result "%s\t \n"
'''


class CheckTextsTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        os.makedirs(os.path.join(self.root, "Common"))
        os.makedirs(os.path.join(self.root, "InventoryAgents", "Agent"))
        self.write(AGENT)
        with open(os.path.join(self.root, check_texts.LIST), "w") as f:
            f.write(LIST)

    def write(self, source):
        with open(os.path.join(self.root, "InventoryAgents", "Agent", "Agent.cpp"), "w") as f:
            f.write(source)

    def differences(self):
        return check_texts.differences(self.root)

    def test_texts_are_what_the_compiler_makes_and_nothing_it_alone_reads(self):
        found = check_texts.scan(self.root)["InventoryAgents/Agent/Agent.cpp"]
        self.assertEqual({
            "InventoryAgents\\Agent\\Agent": None, "class 'Thing'": None, "Operation": None,
            "Stopped": None, "Started": None, "Instance doesnot exist": "log",
            "Field '%s' missing in class 'Thing'": "log", "env != NULL": "assert",
            "%s\t \n": None}, found)
        self.assertEqual([], self.differences())

    def test_a_corrected_misspelling_is_noticed_both_ways(self):
        self.write(AGENT.replace("doesnot", "does not"))
        self.assertEqual([
            '[InventoryAgents/Agent/Agent.cpp] not on the list: log "Instance does not exist"',
            '[InventoryAgents/Agent/Agent.cpp] no longer written: "Instance doesnot exist"'],
            self.differences())

    def test_a_blank_or_tab_more_is_another_text(self):
        self.write(AGENT.replace(r'"%s\t \n"', r'"%s\t  \n"'))
        self.assertEqual(2, len(self.differences()))

    def test_a_new_record_is_a_log_text_and_nothing_else(self):
        self.write(AGENT.replace("    char quote", '    LOG_AT(kLogInfo, kName, "New");\n'
                                                  "    char quote"))
        self.assertEqual(['[InventoryAgents/Agent/Agent.cpp] not on the list: log "New"'],
                         self.differences())
        with open(os.path.join(self.root, check_texts.LIST), "a") as f:
            f.write('piece "New"\n')
        self.assertEqual(['[InventoryAgents/Agent/Agent.cpp] listed as piece, written as log: '
                          '"New"'], self.differences())

    def test_a_text_that_leaves_the_log_is_noticed(self):
        self.write(AGENT.replace('LOG_AT(kLogError, kName, "Instance doesnot exist")',
                                 'puts("Instance doesnot exist")'))
        self.assertEqual(['[InventoryAgents/Agent/Agent.cpp] listed as log, no longer written '
                          'as one: "Instance doesnot exist"'], self.differences())

    def test_the_list_spells_every_blank_and_control_character_one_way(self):
        for text in ["a\\x41", "tabs\t\t and a blank ", "\x01\x7f", 'q"\\']:
            self.assertEqual(text, check_texts.unquote(check_texts.quote(text)))
        for entry in ['"raw\ttab"', '"\\q"', '"\\x4"', '"open\\"']:
            self.assertRaises(ValueError, check_texts.unquote, entry)

    def test_update_keeps_the_kinds_and_leaves_a_new_text_to_be_decided(self):
        self.write(AGENT.replace('"Started"', '"Running"'))
        check_texts.update(self.root)
        with open(os.path.join(self.root, check_texts.LIST)) as f:
            listed = f.read()
        self.assertEqual(LIST.replace('result "Started"', '? "Running"'), listed)
        self.assertEqual(['[InventoryAgents/Agent/Agent.cpp] kind ? is none of log, assert, '
                          'record, piece, result, name: "Running"'], self.differences())


if __name__ == "__main__":
    unittest.main()
