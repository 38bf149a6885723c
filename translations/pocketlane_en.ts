<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>AboutPanel</name>
    <message>
        <source>Visit us at</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Visit us at:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane - the easiest personal WAP server ever!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version 1.0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please visit our website for latest updates, to submit bug reports and to submit enhancement requests. Further help is also available on the website.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your site</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GraffitiPanel</name>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Graffiti messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include date with Graffiti</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include time with Graffiti</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Graffiti when Pocketlane restarts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Type your new Graffiti here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane - Add Graffiti</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to remove all the Graffiti?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HelpPanel</name>
    <message>
        <source>Running on a LAN/behind a router?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Have UPnP NAT software?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can perform Port Forwarding?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Appropriate port is forwarded?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Have retrieved public IP address?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Have retrieved local IP address?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check my Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Need more help? Visit the website, or click on a problem area above.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Need help setting up?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ModulesPanel</name>
    <message>
        <source>Shared Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Visitors browse the folders you share and download pictures and ring tones.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Graffiti</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Visitors read and write short public messages on a message board.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>My Computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Visitors log off, power off, reboot or shut down this PC, or close Pocketlane.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you have a good idea for a module? Let us know!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modules</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click to STOP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click to START</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane is currently RUNNING. Click the icon to STOP it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane is currently STOPPED. Click the icon to START it.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MyComputerPanel</name>
    <message>
        <source>Enable password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With a password, a visitor types it on the phone instead of confirming with Yes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power off, reboot or shut down even while a program asks the system to wait.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force if Hung</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do not wait for programs that do not respond.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>My Computer password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shutdown options</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OptionsPanel</name>
    <message>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse for the welcome image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome image file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show image when logging on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show message when logging on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extended logging</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Also log every connection, request and page sent on the Status panel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The TCP port phones reach the server on (80 unless set; the router forwards its port 80 here). A change takes effect when the server starts again with the start/stop icon on the Modules panel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Site password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Logging</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Old WAP phones</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OwnerDialogs</name>
    <message>
        <source>WBMP files (*.WBMP) (*.wbmp *.WBMP)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GIF files (*.GIF) (*.gif *.GIF)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Files (*.*) (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane - Welcome image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane has not started serving. Start afresh with first-run values? Visitors would then reach the site without its password, no folder would be shared, and the file would be kept beside the new one (&quot;.unreadable-&quot; and the time added to its name).

No closes Pocketlane, so that you can mend the file.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SharedFoldersPanel</name>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Visitors may browse these folders and everything below them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to remove all the shared folders?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SiteAddressView</name>
    <message>
        <source>On your network:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From the internet:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Point a phone&apos;s camera at the code to open the site.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The site on your network</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The site from the internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>QR code of the site on your network</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StartOptionsGroup</name>
    <message>
        <source>Start with the desktop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Pocketlane when I log in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start minimized to the notification area</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusPanel</name>
    <message>
        <source>Status log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save as...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;lear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pocketlane - Save the status log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The status log could not be saved to %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusViewModel</name>
    <message>
        <source>Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Message</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>Locating...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click here to find out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modules</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Graffiti</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>My Computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Panels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your IP Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your IP Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Show Pocketlane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close Pocketlane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to close Pocketlane?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
