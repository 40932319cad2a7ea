// Runs after the rule file: every case asks the registered rule what it
// answers, as polkitd would (the same JavaScript engine, duktape).
var cases = [
    // action, unit, verb, groups of the subject, expected answer
    ["org.freedesktop.systemd1.manage-units", "VqSrvKt64.service", "start", ["kt64"], "yes"],
    ["org.freedesktop.systemd1.manage-units", "VqSrvKt64.service", "stop", ["users", "kt64"], "yes"],
    ["org.freedesktop.systemd1.manage-units", "VqSrvKt64.service", "restart", ["kt64"], "yes"],
    ["org.freedesktop.systemd1.manage-units", "HoralService.service", "start", ["kt64"], "yes"],
    ["org.freedesktop.systemd1.manage-units", "HoralService.service", "stop", ["kt64"], "yes"],
    // Not a member: left to the default policy (an administrator's password).
    ["org.freedesktop.systemd1.manage-units", "VqSrvKt64.service", "start", ["users", "dialout"], null],
    // Members manage these two units only, and never enable or mask them.
    ["org.freedesktop.systemd1.manage-units", "ssh.service", "stop", ["kt64"], null],
    ["org.freedesktop.systemd1.manage-units", "VqSrvKt64", "start", ["kt64"], null],
    ["org.freedesktop.systemd1.manage-units", "HoralService.service", "enable", ["kt64"], null],
    ["org.freedesktop.systemd1.manage-units", "HoralService.service", "reload", ["kt64"], null],
    ["org.freedesktop.systemd1.manage-unit-files", "HoralService.service", "", ["kt64"], null],
    ["org.freedesktop.systemd1.set-environment", "", "", ["kt64"], null],
];

var failures = 0;
for (var i = 0; i < cases.length; ++i) {
    var c = cases[i];
    var action = {
        id: c[0],
        lookup: function(unit, verb) {
            return function(key) {
                if (key == "unit") return unit;
                if (key == "verb") return verb;
                return undefined;
            };
        }(c[1], c[2])
    };
    var subject = {
        user: "operator",
        isInGroup: function(groups) {
            return function(g) { return groups.indexOf(g) >= 0; };
        }(c[3])
    };
    var answer = null;
    for (var r = 0; r < rules.length && answer === null; ++r) {
        var got = rules[r](action, subject);
        if (got !== undefined && got !== null) answer = got;
    }
    if (answer !== c[4]) {
        print("FAIL: " + c[0] + " " + c[1] + " " + c[2] + " groups " + c[3].join(",") +
              ": got " + answer + ", expected " + c[4]);
        ++failures;
    }
}
print(cases.length + " polkit cases, " + failures + " failed");
if (failures > 0) throw new Error("polkit rule");
