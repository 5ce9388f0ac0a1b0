// folder rows
