// Replaced by the module entry glue.
