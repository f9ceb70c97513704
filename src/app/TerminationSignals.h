#pragma once

// Makes SIGTERM, SIGINT and SIGHUP end the event loop, as Quit does.
void quitOnTerminationSignals();
