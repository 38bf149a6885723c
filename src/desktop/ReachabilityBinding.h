#pragma once

class frmMain;
class GatewaySupervisor;
class Reachability;

// Shows the reachability model in the window: the site's addresses and QR
// code on the About panel, the address field (`lblLocalIP`, a live link while the address is not
// known), the Help panel's six answers, and its "Check my Setup" button, disabled while a check
// runs.
void BindReachability(frmMain& window, Reachability& network);

// Shows whether the built-in gateway runs on the Options panel (`lblGatewayState`).
void BindGateway(frmMain& window, GatewaySupervisor& gateway);
