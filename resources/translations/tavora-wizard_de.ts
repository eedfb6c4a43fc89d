<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>ConnectionPage</name>
    <message>
        <source>Test My Connection</source>
        <translation>Verbindung testen</translation>
    </message>
    <message>
        <source>Proxy Settings</source>
        <translation>Proxy-Einstellungen</translation>
    </message>
    <message>
        <source>Click the Test My Connection button. The Wizard will try to establish a connection to the Tavora Live server.</source>
        <translation>Klicken Sie auf „Verbindung testen“. Der Assistent versucht dann, eine Verbindung zum Server von Tavora Live herzustellen.</translation>
    </message>
    <message>
        <source>If this test fails make sure your are not behind a proxy server and ther is no Firewall or Anti-virus software blocking the communication. </source>
        <translation>Schlägt der Test fehl, prüfen Sie, ob ein Proxyserver, eine Firewall oder ein Virenschutzprogramm die Verbindung blockiert. </translation>
    </message>
    <message>
        <source>To configure the proxy settings click the Proxy Settings button.</source>
        <translation>Um den Proxy einzurichten, klicken Sie auf „Proxy-Einstellungen“.</translation>
    </message>
</context>
<context>
    <name>DeviceLists</name>
    <message>
        <source> (Windows Default)</source>
        <translation> (Windows-Standard)</translation>
    </message>
</context>
<context>
    <name>DisplayPage</name>
    <message>
        <source>Test My Display</source>
        <translation>Bildschirm testen</translation>
    </message>
    <message>
        <source>Click the Test My Display button. </source>
        <translation>Klicken Sie auf „Bildschirm testen“. </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Tavora Live System Test Wizard</source>
        <translation>Tavora Live Systemtest-Assistent</translation>
    </message>
    <message>
        <source>Tavora Live System Test</source>
        <translation>Tavora Live Systemtest</translation>
    </message>
    <message>
        <source>Test Your Internet Connection</source>
        <translation>Internetverbindung testen</translation>
    </message>
    <message>
        <source>Testing Your Display Settings</source>
        <translation>Bildschirmeinstellungen testen</translation>
    </message>
    <message>
        <source>Test Your Playback Device</source>
        <translation>Wiedergabegerät testen</translation>
    </message>
    <message>
        <source>Test Your Microphone</source>
        <translation>Mikrofon testen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Previous Test</source>
        <translation>Vorheriger Test</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
</context>
<context>
    <name>MicrophonePage</name>
    <message>
        <source>The microphone was removed during the test, so the test has stopped.

Connect it again or choose another input device, then press Start.</source>
        <translation>Das Mikrofon wurde während des Tests entfernt, deshalb wurde der Test angehalten.

Schließen Sie es wieder an oder wählen Sie ein anderes Eingabegerät und klicken Sie dann auf „Start“.</translation>
    </message>
    <message>
        <source>The playback device was removed during the test, so the test has stopped.

Connect it again or choose another playback device on the playback page, then press Start.</source>
        <translation>Das Wiedergabegerät wurde während des Tests entfernt, deshalb wurde der Test angehalten.

Schließen Sie es wieder an oder wählen Sie auf der Wiedergabeseite ein anderes Gerät und klicken Sie dann auf „Start“.</translation>
    </message>
    <message>
        <source>The sound server stopped during the test, so the test has stopped.

Start the sound server again (or log out and back in), then press Start.</source>
        <translation>Der Soundserver wurde während des Tests beendet, deshalb wurde der Test angehalten.

Starten Sie den Soundserver neu (oder melden Sie sich ab und wieder an) und klicken Sie dann auf „Start“.</translation>
    </message>
    <message>
        <source>Select your input device which your microphone is attached to:</source>
        <translation>Wählen Sie das Eingabegerät, an das Ihr Mikrofon angeschlossen ist:</translation>
    </message>
    <message>
        <source>Click the Start button. Start talking with a normal voice into your microphone. While talking adjust your microphone volume so that you hear your voice comfortably in your headphones/speakers. If you hear echo or feedback or too much background noises decrease the volume of the microphone. When done press the Stop button.</source>
        <translation>Klicken Sie auf „Start“ und sprechen Sie mit normaler Stimme in Ihr Mikrofon. Stellen Sie dabei die Mikrofonlautstärke so ein, dass Sie Ihre Stimme angenehm in Kopfhörern oder Lautsprechern hören. Hören Sie ein Echo, Rückkopplungen oder zu viele Hintergrundgeräusche, verringern Sie die Mikrofonlautstärke. Klicken Sie zum Schluss auf „Stopp“.</translation>
    </message>
    <message>
        <source>If you can&apos;t hear your voice at all make sure your microphone is plugged in. If you have a USB microphone make sure to have it on before you start the wizard.</source>
        <translation>Wenn Sie Ihre Stimme gar nicht hören, prüfen Sie, ob das Mikrofon angeschlossen ist. Ein USB-Mikrofon muss angeschlossen sein, bevor Sie den Assistenten starten.</translation>
    </message>
    <message>
        <source>Adjust the Microphone Level</source>
        <translation>Mikrofonpegel einstellen</translation>
    </message>
    <message>
        <source>Microphone Level Not Available</source>
        <translation>Mikrofonpegel nicht verfügbar</translation>
    </message>
    <message>
        <source>Microphone Boost</source>
        <translation>Mikrofonverstärkung</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>The wizard could not detect any audio input device attached.</source>
        <translation>Der Assistent hat kein angeschlossenes Audio-Eingabegerät gefunden.</translation>
    </message>
    <message>
        <source>If you have an audio device attached to your system then make sure it is properly installed. If the problem persists please contact your hardware vendor.</source>
        <translation>Wenn ein Audiogerät an Ihren Computer angeschlossen ist, prüfen Sie, ob es richtig installiert ist. Besteht das Problem weiter, wenden Sie sich an den Hersteller des Geräts.</translation>
    </message>
    <message>
        <source>If you have a USB microphone, please close the wizard, attach your microphone and then start the wizard again. This is because your USB device must be plugged in before you start the Wizard. After you start the wizard select the microphone from the drop-down list above.</source>
        <translation>Wenn Sie ein USB-Mikrofon haben, schließen Sie den Assistenten, stecken Sie das Mikrofon an und starten Sie den Assistenten erneut, denn USB-Geräte müssen vor dem Start des Assistenten angeschlossen sein. Wählen Sie danach das Mikrofon oben in der Liste aus.</translation>
    </message>
</context>
<context>
    <name>PlaybackPage</name>
    <message>
        <source>The audio sample cannot be played with the selected playback device!</source>
        <translation>Die Ansage kann mit dem gewählten Wiedergabegerät nicht abgespielt werden!</translation>
    </message>
    <message>
        <source>The playback device was removed while the sample was playing, so it has stopped.

Connect it again or choose another device from the list, then press Play.</source>
        <translation>Das Wiedergabegerät wurde während der Wiedergabe entfernt, deshalb wurde die Wiedergabe angehalten.

Schließen Sie es wieder an oder wählen Sie ein anderes Gerät aus der Liste und klicken Sie dann auf „Abspielen“.</translation>
    </message>
    <message>
        <source>The sound server stopped while the sample was playing, so it has stopped.

Start the sound server again (or log out and back in), then press Play.</source>
        <translation>Der Soundserver wurde während der Wiedergabe beendet, deshalb wurde die Wiedergabe angehalten.

Starten Sie den Soundserver neu (oder melden Sie sich ab und wieder an) und klicken Sie dann auf „Abspielen“.</translation>
    </message>
    <message>
        <source>Select your playback device:</source>
        <translation>Wählen Sie Ihr Wiedergabegerät:</translation>
    </message>
    <message>
        <source>The Wizard could not find any playback device attached to your system. If you have a sound card please make sure it is properly installed.</source>
        <translation>Der Assistent hat an Ihrem Computer kein Wiedergabegerät gefunden. Wenn Sie eine Soundkarte haben, prüfen Sie, ob sie richtig installiert ist.</translation>
    </message>
    <message>
        <source>If you have USB headphones or USB speakers you have to attach them to your before you start the wizard.</source>
        <translation>USB-Kopfhörer oder USB-Lautsprecher müssen angeschlossen sein, bevor Sie den Assistenten starten.</translation>
    </message>
    <message>
        <source>A prerecorded audio message will begin to play when you press the Play button. While it is playing adjust the volume with the green slider to a comfortable level.</source>
        <translation>Wenn Sie auf „Abspielen“ klicken, wird eine aufgezeichnete Ansage abgespielt. Stellen Sie währenddessen mit dem grünen Regler eine angenehme Lautstärke ein.</translation>
    </message>
    <message>
        <source>If you can&apos;t hear the message, please make sure your headphones/speakers are plugged in. If you have a USB device it must be attached to your computer before you start the wizard.</source>
        <translation>Wenn Sie die Ansage nicht hören, prüfen Sie, ob Kopfhörer oder Lautsprecher angeschlossen sind. Ein USB-Gerät muss angeschlossen sein, bevor Sie den Assistenten starten.</translation>
    </message>
    <message>
        <source>Adjust the Speakers Level</source>
        <translation>Lautsprecherpegel einstellen</translation>
    </message>
    <message>
        <source>Speakers Level Not Available</source>
        <translation>Pegel nicht verfügbar</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Audio is playing at the moment...</source>
        <translation>Die Ansage wird gerade abgespielt...</translation>
    </message>
</context>
<context>
    <name>ProxyDialog</name>
    <message>
        <source>Proxy Settings</source>
        <translation>Proxy-Einstellungen</translation>
    </message>
    <message>
        <source>I am behind a proxy server</source>
        <translation>Ich verwende einen Proxyserver</translation>
    </message>
    <message>
        <source>Proxy Settings:</source>
        <translation>Proxy-Einstellungen:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Benutzer:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>No Socks</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Proxy Authentication</source>
        <translation>Proxy-Anmeldung</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Use it</source>
        <translation>Nutzen</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>The proxy password has %1 bytes; at most 25 bytes can be stored (a character outside plain ASCII takes two or more).</source>
        <translation>Das Proxy-Passwort ist %1 Byte lang; gespeichert werden können höchstens 25 Byte (ein Zeichen außerhalb von einfachem ASCII belegt zwei oder mehr).</translation>
    </message>
    <message>
        <source>The proxy password contains a control character (such as a tab or a line break), which cannot be stored.</source>
        <translation>Das Proxy-Passwort enthält ein Steuerzeichen (etwa einen Tabulator oder Zeilenumbruch), das nicht gespeichert werden kann.</translation>
    </message>
    <message>
        <source>The proxy password is longer than 25 bytes and cannot be stored.</source>
        <translation>Das Proxy-Passwort ist länger als 25 Byte und kann nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>The proxy password contains a control character and cannot be stored.</source>
        <translation>Das Proxy-Passwort enthält ein Steuerzeichen und kann nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>The other settings were saved; the proxy password saved before is kept.</source>
        <translation>Die übrigen Einstellungen wurden gespeichert; das zuvor gespeicherte Proxy-Passwort bleibt erhalten.</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1: %2.</source>
        <translation>Die Einstellungen können nicht in %1 gespeichert werden: %2.</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1.</source>
        <translation>Die Einstellungen können nicht in %1 gespeichert werden.</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1.</source>
        <translation>Die Einstellungen können nicht gespeichert werden: %1.</translation>
    </message>
    <message>
        <source>The settings cannot be saved.</source>
        <translation>Die Einstellungen können nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>None of them were stored; the settings saved before stay.</source>
        <translation>Es wurde nichts gespeichert; die zuvor gespeicherten Einstellungen bleiben erhalten.</translation>
    </message>
    <message>
        <source>Stored: %1. Not stored: %2 (they keep the values saved before).</source>
        <translation>Gespeichert: %1. Nicht gespeichert: %2 (diese behalten die zuvor gespeicherten Werte).</translation>
    </message>
</context>
<context>
    <name>tavora::ConnectionPage</name>
    <message>
        <source>Trying to connect to Tavora Server...</source>
        <translation>Verbindung zum Tavora-Server wird aufgebaut...</translation>
    </message>
    <message>
        <source>First attempt failed...</source>
        <translation>Erster Versuch fehlgeschlagen...</translation>
    </message>
    <message>
        <source>Second attempt failed...</source>
        <translation>Zweiter Versuch fehlgeschlagen...</translation>
    </message>
    <message>
        <source>Connection OK</source>
        <translation>Verbindung OK</translation>
    </message>
    <message>
        <source>A connection cannot be astablish between your computer and the remote server.<byte value="xd"/>
Please make sure you are connected to the internet. If there is a proxy server on your network please configure your proxy settings above. <byte value="xd"/>
If you are running a personal Firewall or some anti virus software make sure they are not blocking this application. If the problem persists contact your network administrator or ISP for details.</source>
        <translation>Zwischen Ihrem Computer und dem Server kann keine Verbindung hergestellt werden.<byte value="xd"/>
Bitte prüfen Sie, ob Sie mit dem Internet verbunden sind. Gibt es in Ihrem Netzwerk einen Proxyserver, richten Sie ihn oben in den Proxy-Einstellungen ein. <byte value="xd"/>
Wenn Sie eine Firewall oder ein Virenschutzprogramm verwenden, stellen Sie sicher, dass es dieses Programm nicht blockiert. Besteht das Problem weiter, wenden Sie sich an Ihren Netzwerkadministrator oder Internetanbieter.</translation>
    </message>
</context>
<context>
    <name>tavora::DisplayPage</name>
    <message>
        <source>Your screen resolution is less than 1024x768 pixels.<byte value="xd"/>
You might experience problems seeing all the classroom elements.</source>
        <translation>Ihre Bildschirmauflösung ist kleiner als 1024x768 Pixel.<byte value="xd"/>
Möglicherweise sehen Sie nicht alle Elemente des Klassenzimmers.</translation>
    </message>
    <message>
        <source>Screen resolution - OK</source>
        <translation>Bildschirmauflösung - OK</translation>
    </message>
    <message>
        <source>Screen DPI - OK</source>
        <translation>Bildschirm-DPI - OK</translation>
    </message>
    <message>
        <source>Your display is running at DPI different than 96 dots per inch<byte value="xd"/>
Some of the text messages and buttons may not be visible</source>
        <translation>Ihr Bildschirm läuft nicht mit 96 DPI (Punkte pro Zoll)<byte value="xd"/>
Einige Texte und Schaltflächen sind möglicherweise nicht sichtbar</translation>
    </message>
</context>
<context>
    <name>tavora::MainWindow</name>
    <message>
        <source>Next Test</source>
        <translation>Nächster Test</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1</source>
        <translation>Die Einstellungen können nicht gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>tavora::ProxyDialog</name>
    <message>
        <source>Your desktop uses the %1 proxy %2.</source>
        <translation>Ihr Desktop nutzt den Proxy %2 (%1).</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>„%1“ ist keine gültige ganze Zahl</translation>
    </message>
</context>
<context>
    <name>tavora::WizardApplication</name>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten.</translation>
    </message>
    <message>
        <source>Tavora Live System Test Wizard</source>
        <translation>Tavora Live Systemtest-Assistent</translation>
    </message>
</context>
<context>
    <name>tavora::audio::MicrophonePage</name>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Your microphone is currently in &quot;boost&quot; mode. This may cause voice echo and increasing of backgound noise.We recommend that you turn the Microphone Boost off.<byte value="xd"/>
Do you want to turn the microphone boost off?</source>
        <translation>Ihr Mikrofon ist zurzeit verstärkt („Boost“). Das kann ein Echo der Stimme und mehr Hintergrundgeräusche verursachen. Wir empfehlen, die Mikrofonverstärkung auszuschalten.<byte value="xd"/>
Möchten Sie die Mikrofonverstärkung ausschalten?</translation>
    </message>
    <message>
        <source>Microphone Boost</source>
        <translation>Mikrofonverstärkung</translation>
    </message>
    <message>
        <source>Microphone Boost is ON. It is recommended that you turn this setting OFF.</source>
        <translation>Die Mikrofonverstärkung ist AN. Wir empfehlen, sie AUSZUSCHALTEN.</translation>
    </message>
    <message>
        <source>Boosting your microphone will increase the microphone input level.<byte value="xd"/>
On most system however this causes feedback (echo) and increases the level of background noises.<byte value="xd"/>
We recommend that you boost your microphone only in case you can&apos;t adjust its volume with the volume slider.<byte value="xd"/>
<byte value="xd"/>
Do you want to boost the microphone?</source>
        <translation>Die Mikrofonverstärkung erhöht den Eingangspegel des Mikrofons.<byte value="xd"/>
Auf den meisten Systemen führt sie jedoch zu Rückkopplungen (Echo) und verstärkt Hintergrundgeräusche.<byte value="xd"/>
Wir empfehlen die Verstärkung nur, wenn Sie die Lautstärke mit dem Regler nicht passend einstellen können.<byte value="xd"/>
<byte value="xd"/>
Möchten Sie das Mikrofon verstärken?</translation>
    </message>
</context>
</TS>
