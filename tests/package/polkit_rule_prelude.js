// The part of polkitd's JavaScript environment a rule file uses.
var rules = [];
var polkit = {
    Result: { NO: "no", YES: "yes", AUTH_SELF: "auth_self", AUTH_SELF_KEEP: "auth_self_keep",
              AUTH_ADMIN: "auth_admin", AUTH_ADMIN_KEEP: "auth_admin_keep", NOT_HANDLED: null },
    addRule: function(rule) { rules.push(rule); },
    addAdminRule: function(rule) {},
    log: function(text) { print(text); }
};
